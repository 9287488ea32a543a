// The build machine's side: packages are Shift-JIS, as Japanese Windows
// writes them, converted by the C library's iconv; the command line is UTF-8.
#include "changelist/text_case.h"
#include "check/text_encoding.h"

#include <iconv.h>

#include "check/module_probe.h"

namespace {

size_t ShiftJisCharLength(const unsigned char* text, size_t left) {
    return IsAnsiLeadByte(static_cast<unsigned char>(text[0])) && left >= 2 ? 2 : 1;
}

bool AppendShiftJisAsUtf8(const char* text, size_t length, std::string* out) {
    // Opened once; when the C library lacks the code page, no byte beyond
    // ASCII reads as a character.
    static const iconv_t convert = ::iconv_open("UTF-8", "CP932");
    if (convert == reinterpret_cast<iconv_t>(-1)) return false;
    ::iconv(convert, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text);
    size_t inLeft = length;
    char utf8[16];
    char* written = utf8;
    size_t room = sizeof utf8;
    if (::iconv(convert, &in, &inLeft, &written, &room) == static_cast<size_t>(-1) || inLeft != 0) {
        return false;
    }
    out->append(utf8, static_cast<size_t>(written - utf8));
    return true;
}

const TextEncoding kShiftJis = {ShiftJisCharLength, AppendShiftJisAsUtf8};

}  // namespace

const TextEncoding& PackageEncoding() { return kShiftJis; }

const TextEncoding& LocalEncoding() { return Utf8Encoding(); }
