// Upper-casing by the system ANSI code page's rules: double-byte characters
// stay intact (a Shift-JIS trail byte in a..z is not a letter), and on
// Windows the platform's own case mapping applies.
#pragma once

#include <string>

void UpperCaseAnsi(std::string& text);

// True when byte opens a double-byte character in the ANSI code page, so the
// byte after it is a trail byte and never a character of its own (a trail
// byte may be "\" or a..z in Shift-JIS).
bool IsAnsiLeadByte(unsigned char byte);
