// SHA-256 (FIPS 180-4) of our own: Windows 98, NT 4.0 and 2000 offer none.
// Free of Win32.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<unsigned char, 32>;

// Fed piece by piece, so a file is hashed a block at a time and never held
// whole. After Final the object starts over, as if new.
class Sha256 {
public:
    Sha256() { Reset(); }

    void Reset();
    void Update(const void* data, size_t size);
    Sha256Digest Final();

private:
    uint32_t m_state[8];
    uint64_t m_length;  // bytes fed so far
    unsigned char m_block[64];
    size_t m_used;      // bytes of m_block waiting for a whole block
};

// The 64 lower-case hexadecimal digits sha256sum writes.
std::string DigestHex(const Sha256Digest& digest);

// The digest written as exactly 64 hexadecimal digits, either case, at text;
// false when any of them is not one.
bool ParseDigestHex(const char* text, Sha256Digest* digest);
