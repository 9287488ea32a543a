// The build machine stands in for a Windows of the code page it is told.
#include "platform/text_case.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <string>

#include "platform/ansi_text.h"

namespace {

unsigned g_codePage = 932;

// A letter of a single-byte code page beyond ASCII, upper-cased through
// Unicode as Windows' own mapping does (é to É in 1252); kept when the
// code page has no upper-case form of it. Opened once per code page.
char UpperNonAscii(char byte) {
    static unsigned s_codePage = 0;
    static iconv_t s_toUnicode = reinterpret_cast<iconv_t>(-1), s_back = reinterpret_cast<iconv_t>(-1);
    static const locale_t s_utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (s_codePage != g_codePage) {
        for (iconv_t* open : {&s_toUnicode, &s_back}) {
            if (*open != reinterpret_cast<iconv_t>(-1)) ::iconv_close(*open);
        }
        s_codePage = g_codePage;
        const std::string name = "CP" + std::to_string(g_codePage);
        s_toUnicode = ::iconv_open("UTF-32LE", name.c_str());
        s_back = ::iconv_open(name.c_str(), "UTF-32LE");
    }
    if (s_utf8 == nullptr || s_toUnicode == reinterpret_cast<iconv_t>(-1) ||
        s_back == reinterpret_cast<iconv_t>(-1)) {
        return byte;
    }
    char in[1] = {byte};
    char32_t unicode = 0;
    char* from = in;
    char* to = reinterpret_cast<char*>(&unicode);
    size_t left = 1, room = sizeof unicode;
    if (::iconv(s_toUnicode, &from, &left, &to, &room) == static_cast<size_t>(-1)) return byte;
    unicode = static_cast<char32_t>(::towupper_l(static_cast<wint_t>(unicode), s_utf8));
    char out[4];
    from = reinterpret_cast<char*>(&unicode);
    to = out;
    left = sizeof unicode;
    room = sizeof out;
    ::iconv(s_back, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(s_back, &from, &left, &to, &room) == static_cast<size_t>(-1) || to != out + 1) return byte;
    return out[0];
}

}  // namespace

bool IsAnsiLeadByte(unsigned char byte) { return IsLeadByteIn(g_codePage, byte); }

unsigned AnsiCodePage() { return g_codePage; }

bool UseAnsiCodePage(unsigned codePage) {
    if (!KnownCodePage(codePage)) return false;
    g_codePage = codePage;
    return true;
}

// A double-byte character is kept whole: its trail byte is part of it, not
// a letter.
void UpperCaseAnsi(std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const size_t next = NextCharacter(text, i);
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            text[i] = UpperAscii(text[i]);
        } else if (next == i + 1) {
            text[i] = UpperNonAscii(text[i]);
        }
        i = next;
    }
}
