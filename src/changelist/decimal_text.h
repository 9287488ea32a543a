// Reading a number as the runtime's decimal conversion reads it: leading
// white space, an optional sign, digits up to the first other byte; no
// digits gives 0. Free of Win32.
#pragma once

#include <cstdint>
#include <string>

// Beyond the 32-bit range the value saturates instead of wrapping, so an
// absurd number still orders above every sane one rather than turning
// negative.
int32_t ReadDecimal(const std::string& text);
