#include "engine/seal/rsa_signature.h"

#include <cstring>


namespace {

const char kRsaEncryption[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01";  // 1.2.840.113549.1.1.1
// DigestInfo's DER up to the digest: SHA-256 (2.16.840.1.101.3.4.2.1), NULL
// parameters, then 32 octets (RFC 8017, 9.2, note 1).
const char kSha256DigestInfo[] = "\x30\x31\x30\x0D\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01\x05\x00\x04\x20";

const size_t kMaxLimbs = kRsaMaxModulusBytes / 4;

// A number as 32-bit limbs, the least significant first, with room for a
// product's running sum past the modulus' limbs.
struct Number {
    uint32_t limb[kMaxLimbs + 2];
};

Number FromBytes(const char* bytes, size_t size) {
    Number number = {};
    for (size_t i = 0; i < size; ++i) {
        const size_t bit = (size - 1 - i) * 8;
        number.limb[bit / 32] |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << (bit % 32);
    }
    return number;
}

void ToBytes(const Number& number, size_t size, unsigned char* bytes) {
    for (size_t i = 0; i < size; ++i) {
        const size_t bit = (size - 1 - i) * 8;
        bytes[i] = static_cast<unsigned char>(number.limb[bit / 32] >> (bit % 32));
    }
}

// Arithmetic modulo an odd n of k limbs in Montgomery's form, R = 2^(32k):
// no division anywhere, each step the same loops whatever the numbers.
class Montgomery {
public:
    Montgomery(const Number& n, size_t k) : m_n(n), m_k(k) {
        // n^-1 mod 2^32 by Newton's iteration: each step doubles the bits
        // that are right, from 3 (n is odd) to past 32.
        uint32_t inverse = n.limb[0];
        for (int i = 0; i < 4; ++i) inverse *= 2 - n.limb[0] * inverse;
        m_minusInverse = 0 - inverse;
    }

    // a * b / R mod n, for a and b below n.
    Number Multiply(const Number& a, const Number& b) const {
        Number t = {};
        uint32_t* const x = t.limb;
        const uint32_t* const n = m_n.limb;
        for (size_t i = 0; i < m_k; ++i) {
            uint64_t carry = 0;
            for (size_t j = 0; j < m_k; ++j) {
                const uint64_t sum = x[j] + static_cast<uint64_t>(a.limb[j]) * b.limb[i] + carry;
                x[j] = static_cast<uint32_t>(sum);
                carry = sum >> 32;
            }
            uint64_t top = x[m_k] + carry;
            x[m_k] = static_cast<uint32_t>(top);
            x[m_k + 1] = static_cast<uint32_t>(top >> 32);
            // Adding m * n clears the lowest limb, which is then shifted out.
            const uint32_t m = x[0] * m_minusInverse;
            carry = (x[0] + static_cast<uint64_t>(m) * n[0]) >> 32;
            for (size_t j = 1; j < m_k; ++j) {
                const uint64_t sum = x[j] + static_cast<uint64_t>(m) * n[j] + carry;
                x[j - 1] = static_cast<uint32_t>(sum);
                carry = sum >> 32;
            }
            top = x[m_k] + carry;
            x[m_k - 1] = static_cast<uint32_t>(top);
            x[m_k] = x[m_k + 1] + static_cast<uint32_t>(top >> 32);
        }
        // Below 2n: one subtraction brings it below n.
        ReduceOnce(&t, x[m_k] != 0);
        x[m_k] = 0;
        x[m_k + 1] = 0;
        return t;
    }

    // R^2 mod n, which takes a number into the form: 1 doubled modulo n
    // 64k times.
    Number RSquared() const {
        Number x = {};
        x.limb[0] = 1;
        for (size_t i = 0; i < 64 * m_k; ++i) {
            uint32_t carry = 0;
            for (size_t j = 0; j < m_k; ++j) {
                const uint32_t next = x.limb[j] >> 31;
                x.limb[j] = x.limb[j] << 1 | carry;
                carry = next;
            }
            ReduceOnce(&x, carry != 0);
        }
        return x;
    }

private:
    // x -= n when x, overflowing its k limbs or not, is n or more.
    void ReduceOnce(Number* x, bool overflow) const {
        if (!overflow && Below(*x)) return;
        uint64_t borrow = 0;
        for (size_t j = 0; j < m_k; ++j) {
            const uint64_t difference = static_cast<uint64_t>(x->limb[j]) - m_n.limb[j] - borrow;
            x->limb[j] = static_cast<uint32_t>(difference);
            borrow = (difference >> 32) & 1;
        }
    }

    bool Below(const Number& x) const {
        for (size_t j = m_k; j-- > 0;) {
            if (x.limb[j] != m_n.limb[j]) return x.limb[j] < m_n.limb[j];
        }
        return false;
    }

    const Number& m_n;
    size_t m_k;
    uint32_t m_minusInverse;
};

// A DER INTEGER's contents as a positive number, big-endian, without the
// zero byte DER puts before a top bit that is set: false for zero, a
// negative number or a zero byte DER would not write.
bool PositiveInteger(const DerReader& integer, DerReader* value) {
    DerReader rest = integer;
    unsigned char first = 0x80;
    if (!rest.TakeByte(&first) || (first & 0x80) != 0) return false;
    if (first == 0 && (rest.Peek() & 0x80) == 0) return false;
    *value = first == 0 ? rest : integer;
    return true;
}

// The keys checked: an odd modulus of the sizes checked, an odd exponent
// of 3 or more.
bool Usable(const RsaPublicKey& key) {
    const size_t size = key.modulus.Size();
    return size >= kRsaMinModulusBytes && size <= kRsaMaxModulusBytes && (key.modulus.Data()[size - 1] & 1) != 0 &&
           key.exponent >= 3 && (key.exponent & 1) != 0;
}

}  // namespace

bool ReadRsaPublicKey(DerReader spki, RsaPublicKey* key) {
    DerReader info, algorithm, bits, rsaKey, modulus, exponent;
    if (!spki.Take(kDerSequence, &info) || !info.Take(kDerSequence, &algorithm) ||
        !algorithm.TakeOid(kRsaEncryption) || !info.Take(kDerBits, &bits) || !info.Empty()) {
        return false;
    }
    // The BIT STRING's first byte counts its unused bits: none, as it holds
    // RSAPublicKey, the modulus and the exponent.
    unsigned char unused = 1;
    if (!bits.TakeByte(&unused) || unused != 0 || !bits.Take(kDerSequence, &rsaKey) || !bits.Empty() ||
        !rsaKey.Take(kDerInteger, &modulus) || !rsaKey.Take(kDerInteger, &exponent) || !rsaKey.Empty()) {
        return false;
    }
    DerReader n, e;
    if (!PositiveInteger(modulus, &n) || !PositiveInteger(exponent, &e) || e.Size() > 4) return false;
    uint32_t value = 0;
    for (unsigned char byte = 0; e.TakeByte(&byte);) value = value << 8 | byte;
    RsaPublicKey read;
    read.modulus = n;
    read.exponent = value;
    if (!Usable(read)) return false;
    *key = read;
    return true;
}

bool RsaPublicBlock(const RsaPublicKey& key, const std::string& signature, unsigned char* block) {
    const size_t size = key.modulus.Size();
    if (!Usable(key) || signature.size() != size || std::memcmp(signature.data(), key.modulus.Data(), size) >= 0) {
        return false;
    }
    const Number n = FromBytes(key.modulus.Data(), size);
    const Montgomery form(n, (size + 3) / 4);
    const Number base = form.Multiply(FromBytes(signature.data(), size), form.RSquared());
    Number x = base;
    int bit = 31;
    while ((key.exponent >> bit & 1) == 0) --bit;
    while (bit-- > 0) {
        x = form.Multiply(x, x);
        if ((key.exponent >> bit & 1) != 0) x = form.Multiply(x, base);
    }
    Number one = {};
    one.limb[0] = 1;
    ToBytes(form.Multiply(x, one), size, block);
    return true;
}

bool VerifyRsaSha256(const RsaPublicKey& key, const Sha256Digest& digest, const std::string& signature) {
    unsigned char block[kRsaMaxModulusBytes], expected[kRsaMaxModulusBytes];
    if (!RsaPublicBlock(key, signature, block)) return false;
    const size_t size = key.modulus.Size(), prefix = sizeof kSha256DigestInfo - 1;
    const size_t info = size - digest.size() - prefix;
    std::memset(expected, 0xFF, size);
    expected[0] = 0;
    expected[1] = 1;
    expected[info - 1] = 0;
    std::memcpy(expected + info, kSha256DigestInfo, prefix);
    std::memcpy(expected + info + prefix, digest.data(), digest.size());
    return std::memcmp(block, expected, size) == 0;
}
