#include "platform/ansi_text.h"

#include "platform/text_case.h"

bool EqualsIgnoringAsciiCase(const char* a, size_t aLength, const std::string& b) {
    if (aLength != b.size()) return false;
    for (size_t i = 0; i < aLength;) {
        const size_t length = CharacterLength(a + i, aLength - i);
        if (length == 1 ? UpperAscii(a[i]) != UpperAscii(b[i]) : a[i] != b[i] || a[i + 1] != b[i + 1]) {
            return false;
        }
        i += length;
    }
    return true;
}

bool EqualsIgnoringAsciiCaseByteByByte(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

size_t LastSeparator(const std::string& path) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); i = NextCharacter(path, i)) {
        if (path[i] == '\\' || path[i] == '/') last = i;
    }
    return last;
}

bool EndsWithSeparator(const std::string& text) {
    const size_t last = LastSeparator(text);
    return last != std::string::npos && last + 1 == text.size();
}

std::string NameOf(const std::string& path) {
    const size_t last = LastSeparator(path);
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string FolderOf(const std::string& path) {
    const size_t last = LastSeparator(path);
    return last == std::string::npos ? std::string() : path.substr(0, last);
}

std::string JoinPath(const std::string& folder, const std::string& name, char separator) {
    return EndsWithSeparator(folder) ? folder + name : folder + separator + name;
}

std::string ModuleFolder(const std::string& modulePath) {
    const size_t last = LastSeparator(modulePath);
    if (last != std::string::npos) return modulePath.substr(0, last + 1);
    return modulePath.substr(0, modulePath.size() >= 2 && modulePath[1] == ':' ? 2 : 0);
}

bool KnownCodePage(unsigned codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 || codePage == 874 ||
           (codePage >= 1250 && codePage <= 1258);
}

bool IsLeadByteIn(unsigned codePage, unsigned char byte) {
    switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
    }
}
