// The native build stands in for code page 932: the pure logic's tests see
// the same double-byte rules as a Japanese Windows.
#include "changelist/text_case.h"

bool IsAnsiLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void UpperCaseAnsi(std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (IsAnsiLeadByte(byte)) {
            ++i;  // the trail byte is part of the character, not a letter
        } else if (byte >= 'a' && byte <= 'z') {
            text[i] = static_cast<char>(byte - 'a' + 'A');
        }
    }
}
