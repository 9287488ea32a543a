// Upper-casing by the system ANSI code page's rules: double-byte characters
// stay intact (a Shift-JIS trail byte in a..z is not a letter), and on
// Windows the platform's own case mapping applies.
#pragma once

#include <string>

void UpperCaseAnsi(std::string& text);
