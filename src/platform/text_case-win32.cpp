#include "platform/text_case.h"

#include "platform/os_calls.h"

bool IsAnsiLeadByte(unsigned char byte) { return g_os.IsDBCSLeadByte(byte) != FALSE; }

unsigned AnsiCodePage() { return g_os.GetACP(); }

bool UseAnsiCodePage(unsigned codePage) { return codePage == AnsiCodePage(); }

// CharUpperBuffA knows the ANSI code page's double-byte characters and its
// non-ASCII letters; a per-byte toupper would corrupt Shift-JIS trail bytes.
void UpperCaseAnsi(std::string& text) {
    if (text.empty()) return;
    g_os.CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
}
