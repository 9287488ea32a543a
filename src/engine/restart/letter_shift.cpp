#include "engine/restart/letter_shift.h"

namespace {

// Only the 26 ASCII letters of each case move; the locale is deliberately not
// consulted, so bytes of a double-byte character or of an accented letter in
// the ANSI code page (all 0x80 and above) stay as they are.
char Shift(char c, char first, int backward) {
    const int offset = c - first;
    const int moved = backward ? (offset + 25) % 26 : (offset + 1) % 26;
    return static_cast<char>(first + moved);
}

}  // namespace

std::string ShiftLastLetterOf(std::string path, int backward) {
    if (path.empty()) return path;
    char& last = path.back();
    if (last >= 'a' && last <= 'z') {
        last = Shift(last, 'a', backward);
    } else if (last >= 'A' && last <= 'Z') {
        last = Shift(last, 'A', backward);
    }
    return path;
}
