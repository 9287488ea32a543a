// Reading texts of a known encoding character by character, to write them
// in UTF-8: the package check's JSON must be valid UTF-8 whatever code page
// a package was written in.
#pragma once

#include <cstddef>
#include <string>

// How to read the characters of a text in one encoding.
struct TextEncoding {
    // The length in bytes of the character that starts at text: 1, or more
    // for a multibyte character; at most left (left > 0).
    size_t (*CharLength)(const unsigned char* text, size_t left);
    // Appends the UTF-8 form of the character in these length bytes to out;
    // false (out untouched) when they are not a character of the encoding.
    bool (*AppendUtf8)(const char* text, size_t length, std::string* out);
};

// UTF-8 itself: well-formed sequences pass, anything else is no character.
const TextEncoding& Utf8Encoding();

// Texts read from a package (change-list entries, version texts): the ANSI
// code page in force (AnsiCodePage), as the installer on the target reads
// them.
const TextEncoding& PackageEncoding();
// Texts from this machine (the folders named on the command line): UTF-8 on
// the build machine, the ANSI code page on Windows.
const TextEncoding& LocalEncoding();

// Appends code point c (up to U+10FFFF) to out in UTF-8.
void AppendCodePoint(unsigned long c, std::string* out);

// The length of the character at text in the ANSI code page in force, as
// TextEncoding::CharLength.
size_t AnsiCharLength(const unsigned char* text, size_t left);

// text, in the package's encoding, all in UTF-8: true, or false (utf8 then
// undefined) when a byte does not start a character of the encoding.
bool PackageTextToUtf8(const std::string& text, std::string* utf8);

// text typed on this machine (a name on the command line) in the package's
// encoding: true, or false when the code page has no such characters. On
// Windows both are the system's code page, and text stays as it is.
bool LocalTextToPackageText(const std::string& text, std::string* packageText);
