// The seal's signature as openssl cms makes it, with and without signed
// attributes, and every way a hostile one differs: another signer, other
// bytes, other algorithms, another shape, and signed attributes that lie.
#include "engine/seal/seal_signature.h"

#include <gtest/gtest.h>

#include <string>

#include "check/der_builder.h"
#include "check/openssl_signer.h"
#include "engine/seal/sha256.h"
#include "engine/seal/signed_data.h"

namespace {

const std::string kSeal =
    "5d41402abc4b2a76b9719d911017c592e2b9f1bd3a4d6c1b53b0c97d8c9bde6a  QMX_CHG.DAT\n"
    "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824  QMXA.DLL\n";

const TestSigner& A() {
    static const TestSigner signer = TestSigner::Rsa(2048, 65537, "QMX Test A");
    return signer;
}
const TestSigner& B() {
    static const TestSigner signer = TestSigner::Rsa(3072, 65537, "QMX Test B");
    return signer;
}

const char kContentType[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03";
const char kMessageDigest[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04";
const char kSignedData[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";

std::string Attribute(const char* type, const std::string& values) {
    return Der(0x30, Der(0x06, type) + Der(0x31, values));
}

std::string DigestText(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    const Sha256Digest digest = hash.Final();
    return std::string(digest.begin(), digest.end());
}

// A detached SignedData by A over signed attributes written by hand,
// openssl's shape otherwise: the attributes are what its signature covers.
std::string WithAttributes(const std::string& attributes) {
    const std::string certificate = A().Certificate();
    CertificateParts parts;
    EXPECT_TRUE(ReadCertificate(DerReader(certificate, 0, certificate.size()), &parts));
    const std::string sha256 = Der(0x30, Der(0x06, kOidSha256));
    const std::string rsa = Der(0x30, Der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01") + Der(0x05, ""));
    const std::string signer =
        Der(0x30, Der(0x02, "\x01") + Der(0x30, parts.issuer.Text() + parts.serial.Text()) +
                      sha256 + Der(0xA0, attributes) + rsa + Der(0x04, A().SignSha256(Der(0x31, attributes))));
    const std::string body = Der(0x02, "\x01") + Der(0x31, sha256) + Der(0x30, Der(0x06, kOidData)) +
                             Der(0xA0, certificate) + Der(0x31, signer);
    return Der(0x30, Der(0x06, kSignedData) + Der(0xA0, Der(0x30, body)));
}

TEST(SealSignature, OpenSslsSignaturesAndTheirForgeries) {
    const std::string a = A().Certificate(), b = B().Certificate();
    const TestSigner ec = TestSigner::Ec(), small = TestSigner::Rsa(1024), impostor = A().Impostor();
    const std::string ecCertificate = ec.Certificate(), smallCertificate = small.Certificate();
    using Options = TestSigner::CmsOptions;
    Options plain, noAttributes, sha1, embedded, keyId, twoSigners, extra;
    noAttributes.attributes = false;
    sha1.sha1 = true;
    embedded.embed = true;
    keyId.keyIdentifier = true;
    twoSigners.second = &B();
    extra.extra = &impostor;
    std::string flipped = A().SignCms(kSeal, plain);
    flipped.back() ^= 0x01;  // the signature's last byte
    std::string otherSeal = kSeal;
    otherSeal[3] = 'x';
    const struct {
        const char* what;
        std::string signature;
        std::string seal;
        const std::string* required;
        SealSignatureState state;
        const std::string* signer;
    } rows[] = {
        {"A's, with signed attributes", A().SignCms(kSeal, plain), kSeal, &a, SealSignatureState::kVerified, &a},
        {"A's, without", A().SignCms(kSeal, noAttributes), kSeal, &a, SealSignatureState::kVerified, &a},
        {"A's, anyone's asked for", A().SignCms(kSeal, plain), kSeal, nullptr, SealSignatureState::kVerified, &a},
        {"B's where A's is asked for", B().SignCms(kSeal, plain), kSeal, &a, SealSignatureState::kOtherSigner, &b},
        {"over another seal", A().SignCms(otherSeal, plain), kSeal, &a, SealSignatureState::kDoesNotVerify, &a},
        {"over another seal, without attributes", A().SignCms(otherSeal, noAttributes), kSeal, &a,
         SealSignatureState::kDoesNotVerify, &a},
        {"one byte of the signature changed", flipped, kSeal, &a, SealSignatureState::kDoesNotVerify, &a},
        {"SHA-1", A().SignCms(kSeal, sha1), kSeal, &a, SealSignatureState::kUnsupported, &a},
        {"an EC key", ec.SignCms(kSeal, plain), kSeal, &ecCertificate, SealSignatureState::kUnsupported,
         &ecCertificate},
        {"a 1024-bit key", small.SignCms(kSeal, plain), kSeal, &smallCertificate, SealSignatureState::kUnsupported,
         &smallCertificate},
        {"a byte after it", A().SignCms(kSeal, plain) + "x", kSeal, &a, SealSignatureState::kUnreadable, nullptr},
        {"the seal inside it", A().SignCms(kSeal, embedded), kSeal, &a, SealSignatureState::kUnreadable, nullptr},
        {"the signer named by key identifier", A().SignCms(kSeal, keyId), kSeal, &a, SealSignatureState::kUnreadable,
         nullptr},
        {"two signers", A().SignCms(kSeal, twoSigners), kSeal, &a, SealSignatureState::kUnreadable, nullptr},
        {"a second certificate with A's issuer and serial", A().SignCms(kSeal, extra), kSeal, &a,
         SealSignatureState::kUnreadable, nullptr},
        {"no DER at all", "QMX_CHG.SUM", kSeal, &a, SealSignatureState::kUnreadable, nullptr},
    };
    for (const auto& row : rows) {
        const SealSignature result = CheckSealSignature(row.signature, row.seal, row.required);
        EXPECT_EQ(row.state, result.state) << row.what;
        EXPECT_EQ(row.signer != nullptr ? *row.signer : std::string(), result.signer) << row.what;
    }
}

TEST(SealSignature, SignedAttributesMustSayPlainDataAndTheSealsDigestOnce) {
    const std::string a = A().Certificate();
    const std::string type = Attribute(kContentType, Der(0x06, kOidData));
    const std::string digest = Attribute(kMessageDigest, Der(0x04, DigestText(kSeal)));
    const std::string otherDigest = Attribute(kMessageDigest, Der(0x04, DigestText(kSeal + "\n")));
    const struct {
        const char* what;
        std::string attributes;
        SealSignatureState state;
    } rows[] = {
        {"type and digest", type + digest, SealSignatureState::kVerified},
        {"and an attribute not read", type + Attribute("\x2A\x03", Der(0x05, "")) + digest,
         SealSignatureState::kVerified},
        {"no content type", digest, SealSignatureState::kDoesNotVerify},
        {"no digest", type, SealSignatureState::kDoesNotVerify},
        {"another seal's digest", type + otherDigest, SealSignatureState::kDoesNotVerify},
        {"the digest twice, the other second", type + digest + otherDigest, SealSignatureState::kDoesNotVerify},
        {"the digest said twice alike", type + digest + digest, SealSignatureState::kDoesNotVerify},
        {"two values in one digest", type + Attribute(kMessageDigest, Der(0x04, DigestText(kSeal)) + Der(0x04, "")),
         SealSignatureState::kDoesNotVerify},
        {"content of another type", Attribute(kContentType, Der(0x06, kSignedData)) + digest,
         SealSignatureState::kDoesNotVerify},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.state, CheckSealSignature(WithAttributes(row.attributes), kSeal, &a).state) << row.what;
    }
}

}  // namespace
