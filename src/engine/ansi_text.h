// Walking paths in the system's ANSI code page a whole character at a time,
// so that the trail byte of a double-byte character (0x5C in many Shift-JIS
// characters) is never taken for a backslash.
#pragma once

#include <cstddef>
#include <string>

// Whether byte leads a double-byte character in the system's code page.
bool IsLeadByte(unsigned char byte);

// Offset of the character after the one at i.
size_t NextCharacter(const std::string& text, size_t i);

// Whether the last character of text is a backslash.
bool EndsWithBackslash(const std::string& text);
