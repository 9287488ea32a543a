// The build machine stands in for a Windows of the code page it is told.
#include "platform/text_case.h"

#include "platform/ansi_text.h"

namespace {

unsigned g_codePage = 932;

}  // namespace

bool IsAnsiLeadByte(unsigned char byte) { return IsLeadByteIn(g_codePage, byte); }

unsigned AnsiCodePage() { return g_codePage; }

bool UseAnsiCodePage(unsigned codePage) {
    if (!KnownCodePage(codePage)) return false;
    g_codePage = codePage;
    return true;
}

// ASCII letters only: the trail byte of a double-byte character is part of
// it, not a letter.
void UpperCaseAnsi(std::string& text) {
    for (size_t i = 0; i < text.size(); i = NextCharacter(text, i)) text[i] = UpperAscii(text[i]);
}
