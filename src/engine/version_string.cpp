#include "engine/version_string.h"

#include <cstddef>
#include <cstdint>

namespace {

const size_t kMaxPieceLength = 32;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads like atoi, except that digits beyond the 32-bit range saturate
// instead of wrapping, so an absurd version still orders above every sane
// one rather than turning negative.
int32_t ReadDecimal(const char* text) {
    while (IsBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

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
            *slots[slot++] = ReadDecimal(piece);
            if (slot == 3 || c == '\0') return;
            length = 0;
        } else if (length < kMaxPieceLength) {
            piece[length++] = c;
        }
    }
}
