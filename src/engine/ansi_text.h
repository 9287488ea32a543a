// Walking paths in the system's ANSI code page a whole character at a time,
// so that the trail byte of a double-byte character (0x5C in many Shift-JIS
// characters) is never taken for a backslash. Lead bytes are the change
// list's own (IsAnsiLeadByte). Free of Win32.
#pragma once

#include <cstddef>
#include <string>

// Offset of the character after the one at i.
size_t NextCharacter(const std::string& text, size_t i);

// Whether the last character of text is a backslash.
bool EndsWithBackslash(const std::string& text);

// folder and name joined by one backslash.
std::string JoinPath(const std::string& folder, const std::string& name);
