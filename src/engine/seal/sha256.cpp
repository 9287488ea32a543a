#include "engine/seal/sha256.h"

#include <cstring>

#include "engine/seal/sha256_blocks.h"

// The rest of the program is built for size; hashing a whole package before
// the first module is compared is the one place where speed shows, and at
// -Os GCC makes the rounds half as fast. A pragma, not a build flag, so that
// it holds through link-time optimisation.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O2")
#endif

const uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

namespace {

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline uint32_t LoadBigEndian(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// One round; the caller rotates the roles of the eight working variables
// instead of moving their values, which keeps them in registers.
inline void Round(uint32_t a, uint32_t b, uint32_t c, uint32_t& d, uint32_t e, uint32_t f,
                  uint32_t g, uint32_t& h, uint32_t constantPlusWord) {
    const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                        constantPlusWord;
    const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    d += t1;
    h = t1 + t2;
}

void Compress(uint32_t state[8], const unsigned char* block) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian(block + 4 * i);
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; i += 8) {
        const uint32_t* k = kSha256RoundConstants + i;
        Round(a, b, c, d, e, f, g, h, k[0] + w[i]);
        Round(h, a, b, c, d, e, f, g, k[1] + w[i + 1]);
        Round(g, h, a, b, c, d, e, f, k[2] + w[i + 2]);
        Round(f, g, h, a, b, c, d, e, k[3] + w[i + 3]);
        Round(e, f, g, h, a, b, c, d, k[4] + w[i + 4]);
        Round(d, e, f, g, h, a, b, c, k[5] + w[i + 5]);
        Round(c, d, e, f, g, h, a, b, k[6] + w[i + 6]);
        Round(b, c, d, e, f, g, h, a, k[7] + w[i + 7]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

// The processor's SHA extensions where they can be used: asked once.
void Blocks(uint32_t state[8], const unsigned char* data, size_t blocks) {
    static const bool cpu = Sha256CpuBlocksUsable();
    if (cpu) {
        Sha256BlocksCpu(state, data, blocks);
    } else {
        Sha256BlocksPortable(state, data, blocks);
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void Sha256BlocksPortable(uint32_t state[8], const unsigned char* data, size_t blocks) {
    for (; blocks > 0; --blocks, data += 64) Compress(state, data);
}

void Sha256::Reset() {
    static const uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(m_state, kInitial, sizeof m_state);
    m_length = 0;
    m_used = 0;
}

void Sha256::Update(const void* data, size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    m_length += size;
    if (m_used > 0) {
        const size_t taken = size < 64 - m_used ? size : 64 - m_used;
        std::memcpy(m_block + m_used, bytes, taken);
        m_used += taken;
        bytes += taken;
        size -= taken;
        if (m_used < 64) return;
        Blocks(m_state, m_block, 1);
        m_used = 0;
    }
    // Whole blocks straight from the caller's buffer, without a copy.
    const size_t whole = size / 64;
    Blocks(m_state, bytes, whole);
    bytes += whole * 64;
    size -= whole * 64;
    std::memcpy(m_block, bytes, size);
    m_used = size;
}

Sha256Digest Sha256::Final() {
    const uint64_t bits = m_length * 8;
    m_block[m_used++] = 0x80;
    if (m_used > 56) {
        std::memset(m_block + m_used, 0, 64 - m_used);
        Blocks(m_state, m_block, 1);
        m_used = 0;
    }
    std::memset(m_block + m_used, 0, 56 - m_used);
    for (int i = 0; i < 8; ++i) m_block[56 + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Blocks(m_state, m_block, 1);
    Sha256Digest digest;
    for (int i = 0; i < 32; ++i) {
        digest[i] = static_cast<unsigned char>(m_state[i / 4] >> (24 - 8 * (i % 4)));
    }
    Reset();
    return digest;
}

std::string DigestHex(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text(64, '0');
    for (size_t i = 0; i < digest.size(); ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    return text;
}

bool ParseDigestHex(const char* text, Sha256Digest* digest) {
    for (size_t i = 0; i < digest->size(); ++i) {
        const int high = HexValue(text[2 * i]);
        if (high < 0) return false;
        const int low = HexValue(text[2 * i + 1]);
        if (low < 0) return false;
        (*digest)[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}
