#include "engine/version/version_string.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "changelist/decimal_text.h"

namespace {

const size_t kMaxPieceLength = 32;

}  // namespace

void ParseVersionText(const char* text, VersionNumbers* numbers) {
    if (numbers == nullptr) return;
    *numbers = VersionNumbers{0, 0, 0};
    if (text == nullptr) return;

    int32_t* const slots[] = {&numbers->major, &numbers->minor, &numbers->third};
    size_t slot = 0;
    char piece[kMaxPieceLength + 1];
    size_t length = 0;
    for (const char* p = text;; ++p) {
        const char c = *p;
        if (c == '.' || c == ',' || c == '\0') {
            piece[length] = '\0';
            *slots[slot++] = ReadDecimal(std::string(piece));
            if (slot == 3 || c == '\0') return;
            length = 0;
        } else if (length < kMaxPieceLength) {
            piece[length++] = c;
        }
    }
}
