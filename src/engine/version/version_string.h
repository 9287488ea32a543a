// Splitting a FileVersion text into its first three numbers. Free of Win32.
#pragma once

#include <cstdint>

struct VersionNumbers {
    int32_t major;
    int32_t minor;
    int32_t third;
};

// Pieces end at ".", "," or the end of the text; at most 32 characters of a
// piece count; each piece reads as a signed decimal (leading white space,
// optional sign, digits), 0 without digits, saturated beyond the 32-bit range.
// Numbers the text does not supply are 0. Does nothing when numbers is null.
void ParseVersionText(const char* text, VersionNumbers* numbers);
