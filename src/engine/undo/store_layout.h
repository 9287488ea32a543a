// The names in the store of kept copies, shared by the installer and by the
// what-if, which must find a record where the installer would, and nowhere
// else.
#pragma once

#include <cstddef>
#include <string>

#include "engine/seal/sha256.h"

// The store's sixteen folders, by StoreFolderIndex.
constexpr char kStoreFolderDigits[] = "0123456789abcdef";

// Which folder holds name's records for incoming: the sum of name's bytes,
// its letters as capitals (Windows finds the module whatever their case),
// and of incoming's first byte, modulo 16. The name spreads the records of
// a package whose modules share their bytes.
inline size_t StoreFolderIndex(const std::string& name, const Sha256Digest& incoming) {
    unsigned sum = incoming[0];
    for (const unsigned char c : name) sum += c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    return sum % 16;
}

// Whether name is a record, NAME.NEW.OLD with 64 hexadecimal digits each in
// NEW and OLD, read into incoming and old.
inline bool ParseStoreRecord(const std::string& name, Sha256Digest* incoming, Sha256Digest* old) {
    const size_t size = name.size(), hex = 64;
    return size > 2 * hex + 2 && name[size - hex - 1] == '.' && name[size - 2 * hex - 2] == '.' &&
           ParseDigestHex(name.c_str() + size - 2 * hex - 1, incoming) &&
           ParseDigestHex(name.c_str() + size - hex, old);
}
