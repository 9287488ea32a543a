// Our RSA check against OpenSSL's signatures, made here over random data
// with fresh keys, and against forged blocks signed with the private key
// itself: anything but the one block PKCS #1 v1.5 allows is refused.
#include "engine/seal/rsa_signature.h"

#include <gtest/gtest.h>

#include <string>

#include "check/der_builder.h"
#include "check/openssl_signer.h"

namespace {

Sha256Digest DigestOf(const std::string& data) {
    Sha256 hash;
    hash.Update(data.data(), data.size());
    return hash.Final();
}

// A key and the bytes it reads from.
struct Key {
    explicit Key(const TestSigner& signer) : spki(signer.PublicKeyInfo()) {
        EXPECT_TRUE(ReadRsaPublicKey(DerReader(spki, 0, spki.size()), &key));
    }
    std::string spki;
    RsaPublicKey key;
};

const char kSha256Info[] = "\x30\x31\x30\x0D\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01\x05\x00\x04\x20";
const char kSha1Info[] = "\x30\x21\x30\x09\x06\x05\x2B\x0E\x03\x02\x1A\x05\x00\x04\x14";
const char kSha256InfoNoNull[] = "\x30\x2F\x30\x0B\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01\x04\x20";

// 00 01 FF... 00 info digest tail, size bytes in all.
std::string Block(size_t size, const std::string& info, const std::string& digest, const std::string& tail = "") {
    std::string block("\x00\x01", 2);
    block.append(size - 3 - info.size() - digest.size() - tail.size(), '\xFF');
    return block + std::string(1, '\0') + info + digest + tail;
}

std::string Text(const Sha256Digest& digest) { return std::string(digest.begin(), digest.end()); }

TEST(RsaSignature, VerifiesOpenSslSignaturesOfEveryKeySize) {
    for (const int bits : {2048, 3072, 4096}) {
        const TestSigner signer = TestSigner::Rsa(bits);
        const Key read(signer);
        const RsaPublicKey& key = read.key;
        EXPECT_EQ(static_cast<size_t>(bits / 8), key.modulus.Size());
        EXPECT_EQ(65537u, key.exponent);
        const std::string data = RandomBytes(1000);
        std::string signature = signer.SignSha256(data);
        EXPECT_TRUE(VerifyRsaSha256(key, DigestOf(data), signature)) << bits;
        EXPECT_FALSE(VerifyRsaSha256(key, DigestOf(data + "x"), signature)) << bits;
        signature[signature.size() / 2] ^= 0x01;
        EXPECT_FALSE(VerifyRsaSha256(key, DigestOf(data), signature)) << bits;
    }
}

TEST(RsaSignature, RefusesEveryBlockButTheOneItExpects) {
    const TestSigner signer = TestSigner::Rsa(2048);
    const Key read(signer);
    const RsaPublicKey& key = read.key;
    const size_t k = key.modulus.Size();
    const std::string data = RandomBytes(64);
    const std::string digest = Text(DigestOf(data)), info(kSha256Info, sizeof kSha256Info - 1);
    std::string wrongPad = Block(k, info, digest), blockType = wrongPad, shortPad = wrongPad;
    wrongPad[5] = '\xFE';
    blockType[1] = '\x02';
    shortPad.replace(2, 9, std::string(9, '\0'));  // fewer than eight FF bytes before the zero
    const struct {
        const char* what;
        std::string block;
        bool valid;
    } rows[] = {
        {"the block itself", Block(k, info, digest), true},
        {"a wrong padding byte", wrongPad, false},
        {"block type 2", blockType, false},
        {"padding cut short", shortPad, false},
        {"a SHA-1 DigestInfo", Block(k, std::string(kSha1Info, sizeof kSha1Info - 1), digest.substr(0, 20)), false},
        {"DigestInfo without its NULL", Block(k, std::string(kSha256InfoNoNull, sizeof kSha256InfoNoNull - 1), digest),
         false},
        {"trailing data after the digest", Block(k, info, digest, "trailing"), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.valid, VerifyRsaSha256(key, DigestOf(data), signer.RawSign(row.block))) << row.what;
    }
}

TEST(RsaSignature, RefusesSignaturesOfTheWrongLengthOrValue) {
    const TestSigner signer = TestSigner::Rsa(2048);
    const Key read(signer);
    const RsaPublicKey& key = read.key;
    const std::string data = RandomBytes(64);
    const std::string signature = signer.SignSha256(data);
    unsigned char block[kRsaMaxModulusBytes];
    EXPECT_FALSE(VerifyRsaSha256(key, DigestOf(data), std::string(1, '\0') + signature)) << "longer than the modulus";
    EXPECT_FALSE(VerifyRsaSha256(key, DigestOf(data), signature.substr(1))) << "shorter";
    EXPECT_FALSE(RsaPublicBlock(key, key.modulus.Text(), block)) << "the modulus itself";
    EXPECT_FALSE(RsaPublicBlock(key, std::string(key.modulus.Size(), '\xFF'), block)) << "above the modulus";
}

// The forgery a parser of the padding falls for with exponent 3: a block
// whose digest is followed by room for garbage, so that its cube root,
// rounded up, cubes to the same leading bytes; it needs no private key.
TEST(RsaSignature, RefusesTheCubeRootForgeryOfAnExponentThreeKey) {
    const TestSigner signer = TestSigner::Rsa(2048, 3);
    const Key read(signer);
    const RsaPublicKey& key = read.key;
    ASSERT_EQ(3u, key.exponent);
    const std::string data = RandomBytes(64);
    EXPECT_TRUE(VerifyRsaSha256(key, DigestOf(data), signer.SignSha256(data))) << "a real signature";
    const std::string info(kSha256Info, sizeof kSha256Info - 1), digest = Text(DigestOf(data));
    std::string prefix("\x00\x01\xFF\x00", 4);
    prefix += info + digest;
    const std::string forged = CubeRootUp(prefix + std::string(key.modulus.Size() - prefix.size(), '\0'));
    ASSERT_LT(forged.size(), key.modulus.Size() / 2);
    unsigned char block[kRsaMaxModulusBytes];
    ASSERT_TRUE(RsaPublicBlock(key, std::string(key.modulus.Size() - forged.size(), '\0') + forged, block));
    ASSERT_EQ(prefix, std::string(reinterpret_cast<char*>(block), prefix.size()))
        << "the forgery cubes to the prefix a lax parser reads";
    EXPECT_FALSE(VerifyRsaSha256(key, DigestOf(data), forged)) << "short";
    EXPECT_FALSE(VerifyRsaSha256(key, DigestOf(data), std::string(key.modulus.Size() - forged.size(), '\0') + forged))
        << "padded to the modulus' length";
}

// A SubjectPublicKeyInfo of rsaEncryption around the INTEGER contents given.
std::string Spki(const std::string& modulus, const std::string& exponent, const std::string& unused = std::string(1, '\0'),
                 const std::string& after = "") {
    const std::string algorithm = Der(0x30, Der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01") + Der(0x05, ""));
    return Der(0x30, algorithm + Der(0x03, unused + Der(0x30, Der(0x02, modulus) + Der(0x02, exponent)) + after));
}

TEST(RsaSignature, ReadsOnlyRsaKeysOfTheSizesChecked) {
    const std::string n2048 = std::string(1, '\0') + std::string(255, '\xC1') + "\x01";
    const std::string e("\x01\x00\x01", 3);
    const struct {
        const char* what;
        std::string spki;
        bool read;
    } rows[] = {
        {"2048 bits", Spki(n2048, e), true},
        {"4096 bits", Spki(std::string(1, '\0') + std::string(511, '\xC1') + "\x01", e), true},
        {"2040 bits", Spki(std::string(255, '\x41'), e), false},
        {"4104 bits", Spki(std::string(513, '\x41'), e), false},
        {"an even modulus", Spki(n2048.substr(0, 256) + "\x02", e), false},
        {"a negative modulus", Spki(n2048.substr(1), e), false},
        {"a zero DER would not write", Spki(std::string(1, '\0') + n2048, e), false},
        {"exponent 1", Spki(n2048, "\x01"), false},
        {"an even exponent", Spki(n2048, std::string("\x01\x00\x00", 3)), false},
        {"an exponent past 32 bits", Spki(n2048, std::string("\x01\x00\x00\x00\x01", 5)), false},
        {"unused bits in the key", Spki(n2048, e, "\x01"), false},
        {"bytes after the key", Spki(n2048, e, std::string(1, '\0'), "x"), false},
        {"an EC key", TestSigner::Ec().PublicKeyInfo(), false},
        {"an RSA key of 1024 bits", TestSigner::Rsa(1024).PublicKeyInfo(), false},
    };
    for (const auto& row : rows) {
        RsaPublicKey key;
        key.exponent = 7;
        EXPECT_EQ(row.read, ReadRsaPublicKey(DerReader(row.spki, 0, row.spki.size()), &key)) << row.what;
        EXPECT_TRUE(row.read || key.exponent == 7u) << row.what << ": left untouched";
    }
}

}  // namespace
