// RSA signatures by PKCS #1 v1.5 (RSASSA-PKCS1-v1_5 of RFC 8017) with
// SHA-256, checked with the public key alone. Our own: Windows 98, NT 4.0 and
// 2000, and XP before SP3, cannot check a SHA-256 signature. The check
// builds the whole block the signer must have produced and compares it byte
// for byte with what the signature decrypts to; the padding is never parsed,
// so no lenient reading of it can be talked into a forgery. Free of Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/seal/der_reader.h"
#include "engine/seal/sha256.h"

// The moduli checked: 2048 to 4096 bits.
const size_t kRsaMinModulusBytes = 256;
const size_t kRsaMaxModulusBytes = 512;

struct RsaPublicKey {
    DerReader modulus;  // big-endian, its first byte not zero; its bytes must outlive the key
    uint32_t exponent = 0;
};

// The SubjectPublicKeyInfo spki (a certificate's key, whole): true for an
// rsaEncryption key whose modulus is odd and of 2048 to 4096 bits, and
// whose public exponent is odd, at least 3 and fits in 32 bits; false, key
// untouched, for any other key.
bool ReadRsaPublicKey(DerReader spki, RsaPublicKey* key);

// The signature's block, signature ^ exponent mod modulus, into block, as
// many bytes as the modulus: false when the signature is not exactly that
// long, or not below the modulus.
bool RsaPublicBlock(const RsaPublicKey& key, const std::string& signature, unsigned char* block);

// Whether signature is key's signature of digest: its block is 00 01, FF
// bytes, 00, the DigestInfo of SHA-256 and digest, and nothing else.
bool VerifyRsaSha256(const RsaPublicKey& key, const Sha256Digest& digest, const std::string& signature);
