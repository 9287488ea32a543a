// A second, deliberately plain reading of the change-list and version rules,
// written without looking at how the product code does it, so the fuzz
// targets can compare every answer against it. Speed does not matter here;
// obviousness does: split first, then cut, then compare.
#pragma once

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace reference {

// Decimal reading of the runtime (white space, sign, digits), clamped to the
// signed 32-bit range.
inline int32_t Decimal(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

inline std::vector<std::string> Split(const std::string& text, const std::string& separators) {
    std::vector<std::string> pieces(1);
    for (const char c : text) {
        if (separators.find(c) != std::string::npos) {
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    return pieces;
}

inline std::string Blank(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

inline bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Code page 932 upper-casing: a byte after a lead byte belongs to it.
inline std::string Upper(std::string text) {
    bool trail = false;
    for (char& c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (trail) {
            trail = false;
        } else if (IsLeadByte(b)) {
            trail = true;
        } else if (b >= 'a' && b <= 'z') {
            c = static_cast<char>(b - 'a' + 'A');
        }
    }
    return text;
}

// The raw lines: the text between line feeds (none after a final LF), each
// cut at its first CR or "//".
inline std::vector<std::string> RawLines(const std::string& bytes) {
    std::vector<std::string> lines = Split(bytes, "\n");
    if (lines.back().empty()) lines.pop_back();  // nothing follows the last LF
    for (std::string& line : lines) {
        line.resize(std::min({line.size(), line.find('\r'), line.find("//")}));
    }
    return lines;
}

inline bool Bracketed(const std::string& line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// Every entry of the first section called name, in file order.
inline std::vector<std::string> Section(const std::string& bytes, const std::string& name) {
    std::vector<std::string> lines = RawLines(bytes);
    for (std::string& line : lines) line = Upper(Blank(line));
    const auto header = std::find(lines.begin(), lines.end(), "[" + Upper(name) + "]");
    std::vector<std::string> entries;
    if (header == lines.end()) return entries;
    for (auto line = header + 1; line != lines.end() && !Bracketed(*line); ++line) {
        if (!line->empty()) entries.push_back(*line);
    }
    return entries;
}

inline int IsLogOn(const std::string& bytes) {
    const std::vector<std::string> log = Section(bytes, "log");
    return !log.empty() && log.front() == "ON";
}

struct Machine {
    uint32_t platform, major, minor;
};

// Parts of "platform:major[:minor]" after their blanks are removed, or false
// when anything but colons follows the third colon.
inline bool PatternParts(const std::string& pattern, std::string parts[3]) {
    std::vector<std::string> fields = Split(pattern, ":");
    for (size_t i = 3; i < fields.size(); ++i) {
        if (!fields[i].empty()) return false;
    }
    fields.resize(3);
    for (int i = 0; i < 3; ++i) parts[i] = Blank(fields[i]);
    return true;
}

inline int PatternMatches(const std::string& pattern, Machine m) {
    std::string parts[3];
    if (!PatternParts(pattern, parts)) return 0;
    const bool minorMatches = parts[2].empty() || Decimal(parts[2]) == static_cast<int32_t>(m.minor);
    return Decimal(parts[0]) == static_cast<int32_t>(m.platform) &&
           Decimal(parts[1]) == static_cast<int32_t>(m.major) && minorMatches;
}

// The first [Install] entry's patterns (comma or zero byte between them; an
// empty last one is no pattern) checked until one matches.
inline int Targets(const std::string& bytes, Machine m) {
    const std::vector<std::string> install = Section(bytes, "install");
    if (install.empty()) return 0;
    std::vector<std::string> patterns = Split(install.front(), std::string(",\0", 2));
    if (patterns.back().empty()) patterns.pop_back();
    for (const std::string& pattern : patterns) {
        if (PatternMatches(Blank(pattern), m)) return 1;
    }
    return 0;
}

// The three numbers of a FileVersion text: pieces between "." and ",", the
// first 32 characters of each counting.
inline void VersionNumbers3(const std::string& text, int32_t numbers[3]) {
    std::vector<std::string> pieces = Split(text, ".,");
    pieces.resize(3);
    for (int i = 0; i < 3; ++i) numbers[i] = Decimal(pieces[i].substr(0, 32));
}

// A file name that stays inside its folder: no separator, drive, stream,
// wildcard or control character outside double-byte characters, not only
// dots and spaces, not a device (the part before the first dot, trailing
// spaces dropped).
inline bool PlainName(const std::string& name) {
    if (name.empty() || name.find_first_not_of(". ") == std::string::npos) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(name[i]);
        if (IsLeadByte(b) && i + 1 < name.size()) {
            ++i;
        } else if (b < 0x20 || std::string("\\/:*?\"<>|").find(static_cast<char>(b)) != std::string::npos) {
            return false;
        }
    }
    std::string device = Upper(name.substr(0, name.find('.')));
    while (!device.empty() && device.back() == ' ') device.pop_back();
    for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (device == d) return false;
    }
    const bool numbered = device.size() == 4 && (device.rfind("COM", 0) == 0 || device.rfind("LPT", 0) == 0);
    return !(numbered && device[3] >= '0' && device[3] <= '9');
}

struct SealEntry {
    std::string hex;   // lower-case
    std::string name;
};

// The lines of a sha256sum file, or false when one is out of shape or a
// name comes twice (compared upper-cased).
inline bool SealLines(const std::string& bytes, std::vector<SealEntry>* entries) {
    entries->clear();
    std::vector<std::string> lines = Split(bytes, "\n");
    std::vector<std::string> seen;
    for (std::string line : lines) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.size() < 67 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) return false;
        std::string hex = line.substr(0, 64);
        for (char& c : hex) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        const std::string name = line.substr(66);
        for (const char c : name) {
            if (static_cast<unsigned char>(c) < 0x20) return false;
        }
        if (!PlainName(name)) return false;
        if (std::find(seen.begin(), seen.end(), Upper(name)) != seen.end()) return false;
        seen.push_back(Upper(name));
        entries->push_back({hex, name});
    }
    return true;
}

}  // namespace reference
