// Which of the store's sixteen folders holds a record: shared by the
// installer and by the what-if, which must find a record where the
// installer would, and nowhere else.
#pragma once

#include <string>

#include "engine/sha256.h"

// '0' to 'f': the sum of name's bytes, its letters as capitals (Windows finds
// the module whatever their case), and of incoming's first byte, modulo 16.
// The name spreads the records of a package whose modules share their bytes.
inline char StoreFolderDigit(const std::string& name, const Sha256Digest& incoming) {
    unsigned sum = incoming[0];
    for (const unsigned char c : name) sum += c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    return "0123456789abcdef"[sum % 16];
}
