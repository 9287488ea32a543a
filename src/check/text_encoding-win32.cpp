// The Windows side: packages and the command line are in the system's ANSI
// code page, as the installer reads them.
#include "check/text_encoding.h"

#include <windows.h>

namespace {

// Through UTF-16 and our own UTF-8 writer: Windows 95 has no UTF-8 code page
// to convert to.
bool AppendAnsiAsUtf8(const char* text, size_t length, std::string* out) {
    wchar_t wide[4];
    const int units = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, static_cast<int>(length),
                                            wide, 4);
    if (units <= 0) return false;
    std::string utf8;
    for (int i = 0; i < units; ++i) {
        unsigned long c = static_cast<unsigned short>(wide[i]);
        const bool high = c >= 0xD800 && c < 0xDC00;
        if (high && i + 1 < units && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned short>(wide[++i]) - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            return false;
        }
        AppendCodePoint(c, &utf8);
    }
    *out += utf8;
    return true;
}

const TextEncoding kAnsi = {AnsiCharLength, AppendAnsiAsUtf8};

}  // namespace

const TextEncoding& PackageEncoding() { return kAnsi; }

bool LocalTextToPackageText(const std::string& text, std::string* packageText) {
    *packageText = text;
    return true;
}

const TextEncoding& LocalEncoding() { return kAnsi; }
