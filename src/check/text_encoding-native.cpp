// The build machine's side: packages are in the code page the check stands
// in for, converted by the C library's iconv; the command line is UTF-8.
#include "check/text_encoding.h"

#include <iconv.h>

#include <string>

#include "platform/text_case.h"

namespace {

bool AppendAnsiAsUtf8(const char* text, size_t length, std::string* out) {
    // Opened once per code page; when the C library lacks it, no byte beyond
    // ASCII reads as a character.
    static unsigned s_codePage = 0;
    static iconv_t s_convert = reinterpret_cast<iconv_t>(-1);
    if (s_codePage != AnsiCodePage()) {
        if (s_convert != reinterpret_cast<iconv_t>(-1)) ::iconv_close(s_convert);
        s_codePage = AnsiCodePage();
        s_convert = ::iconv_open("UTF-8", ("CP" + std::to_string(s_codePage)).c_str());
    }
    if (s_convert == reinterpret_cast<iconv_t>(-1)) {
        if (length != 1 || static_cast<unsigned char>(text[0]) >= 0x80) return false;
        *out += text[0];
        return true;
    }
    ::iconv(s_convert, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text);
    size_t inLeft = length;
    char utf8[16];
    char* written = utf8;
    size_t room = sizeof utf8;
    if (::iconv(s_convert, &in, &inLeft, &written, &room) == static_cast<size_t>(-1) || inLeft != 0) {
        return false;
    }
    out->append(utf8, static_cast<size_t>(written - utf8));
    return true;
}

const TextEncoding kAnsi = {AnsiCharLength, AppendAnsiAsUtf8};

}  // namespace

const TextEncoding& PackageEncoding() { return kAnsi; }

bool LocalTextToPackageText(const std::string& text, std::string* packageText) {
    const iconv_t convert = ::iconv_open(("CP" + std::to_string(AnsiCodePage())).c_str(), "UTF-8");
    if (convert == reinterpret_cast<iconv_t>(-1)) return false;
    std::string out(text.size() * 2 + 1, '\0');
    char* in = const_cast<char*>(text.data());
    char* written = &out[0];
    size_t inLeft = text.size(), room = out.size();
    const bool whole = ::iconv(convert, &in, &inLeft, &written, &room) != static_cast<size_t>(-1);
    ::iconv_close(convert);
    if (!whole) return false;
    out.resize(out.size() - room);
    *packageText = out;
    return true;
}

const TextEncoding& LocalEncoding() { return Utf8Encoding(); }
