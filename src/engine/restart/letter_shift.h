// Naming of staged copies. Free of Win32.
#pragma once

#include <string>

// path with its last character moved one letter forward (backward == 0) or
// back, wrapping z/a and Z/A and keeping case. Anything that is not an ASCII
// letter, and an empty path, comes back unchanged.
std::string ShiftLastLetterOf(std::string path, int backward);
