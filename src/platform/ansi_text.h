// Small jobs on text in the ANSI code page, each done once for the installer
// and the package check alike. Paths are walked a whole character at a time,
// so that the trail byte of a double-byte character (0x5C in many Shift-JIS
// characters: 表 is 0x95 0x5C) is never taken for a backslash. Lead bytes are
// the code page's own (IsAnsiLeadByte). Free of Win32.
#pragma once

#include <cstddef>
#include <string>

#include "platform/text_case.h"

// The change list's name, beside the program.
inline constexpr char kChangeListName[] = "QMX_CHG.DAT";

// A space or a tab: what the change list and the command line trim and split at.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// The first byte from begin on that is not blank, or end.
inline const char* SkipBlanks(const char* begin, const char* end) {
    while (begin < end && IsBlank(*begin)) ++begin;
    return begin;
}
// end moved back over the blanks before it, no further than begin.
inline const char* TrimBlanksBefore(const char* begin, const char* end) {
    while (end > begin && IsBlank(end[-1])) --end;
    return end;
}

// Only the 26 ASCII letters fold: names, switches and keys are ASCII, and a
// byte of a double-byte character must never match one of their letters.
inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
// Whether the two are the same text but for the case of ASCII letters; a
// double-byte character matches only itself (ャ is 0x83 0x61, ア 0x83 0x41).
bool EqualsIgnoringAsciiCase(const char* a, size_t aLength, const std::string& b);
inline bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return EqualsIgnoringAsciiCase(a.data(), a.size(), b);
}
// Like _stricmp in the "C" locale, as the version texts have always been
// compared: every byte on its own, a double-byte character's trail byte
// included, with only A to Z folded.
bool EqualsIgnoringAsciiCaseByteByByte(const std::string& a, const std::string& b);

// The length in bytes of the character at text, left > 0 bytes long: 2 for a
// lead byte with its trail byte, else 1. No code page has a lead byte below
// 0x80, so ASCII is decided here, without asking the code page: the reader
// walks every byte of the change list through this.
inline size_t CharacterLength(const char* text, size_t left) {
    const unsigned char byte = static_cast<unsigned char>(text[0]);
    return byte >= 0x80 && left >= 2 && IsAnsiLeadByte(byte) ? 2 : 1;
}
// Offset of the character after the one at i.
inline size_t NextCharacter(const std::string& text, size_t i) {
    return i + CharacterLength(text.data() + i, text.size() - i);
}

// Whether the last character of text is "\" or "/".
bool EndsWithSeparator(const std::string& text);
// Where the last "\" or "/" of path is, or npos.
size_t LastSeparator(const std::string& path);
// What follows the last separator: the whole path when it has none.
std::string NameOf(const std::string& path);
// What precedes the last separator: "" when it has none.
std::string FolderOf(const std::string& path);
// folder and name joined by one separator ("\", or "/" on the build
// machine's own paths), unless folder ends in one already.
std::string JoinPath(const std::string& folder, const std::string& name, char separator = '\\');

// The drive and directory of modulePath, keeping the trailing separator:
// "C:\APP\QMXSET.EXE" gives "C:\APP\". A path with no separator gives its
// drive ("C:") or an empty text.
std::string ModuleFolder(const std::string& modulePath);

// Whether byte opens a double-byte character in codePage; false for every
// byte of a single-byte code page. KnownCodePage: the code pages this table
// holds (932, 936, 949, 950 and the single-byte 874 and 1250 to 1258).
bool IsLeadByteIn(unsigned codePage, unsigned char byte);
bool KnownCodePage(unsigned codePage);
