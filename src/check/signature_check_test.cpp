// What the signature check says of a signature: WinVerifyTrust's answers as
// states, and, on the build machine, whether a time stamp stamps the
// signature it is attached to. The signatures are real ones: osslsigncode
// signs a module and stamps it by its own local time-stamp authority, and
// the stamps are then moved, broken or replaced here with libcrypto.
#include "check/signature_check.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "check/authenticode.h"
#include "check/pe_builder.h"

namespace {

TEST(TrustVerdict, ChainRefusalsAreToldFromDamageAndTheRefusedByNameFromTheUnknown) {
    struct Case {
        uint32_t result;
        SignatureState state;
        bool chainChecked;
        const char* said;  // in the problem
    };
    const Case cases[] = {
        {0, SignatureState::kSigned, true, ""},
        {0x800B0109, SignatureState::kUntrusted, true, "0x800B0109"},    // CERT_E_UNTRUSTEDROOT
        {0x800B010A, SignatureState::kUntrusted, true, "0x800B010A"},    // CERT_E_CHAINING
        {0x800B0101, SignatureState::kUntrusted, true, "0x800B0101"},    // CERT_E_EXPIRED
        {0x800B0004, SignatureState::kUntrusted, true, "0x800B0004"},    // TRUST_E_SUBJECT_NOT_TRUSTED
        {0x80092026, SignatureState::kUntrusted, true, "0x80092026"},    // CRYPT_E_SECURITY_SETTINGS
        {0x800B0111, SignatureState::kDistrusted, true, "explicitly distrusts"},  // TRUST_E_EXPLICIT_DISTRUST
        {0x800B010C, SignatureState::kRevoked, true, "revoked"},         // CERT_E_REVOKED
        {0x80096010, SignatureState::kDamaged, false, "digest"},         // TRUST_E_BAD_DIGEST
        {0x800B0100, SignatureState::kDamaged, false, "0x800B0100"},     // TRUST_E_NOSIGNATURE
        {0x80096001, SignatureState::kDamaged, false, "0x80096001"},     // TRUST_E_SYSTEM_ERROR
        {0x80090008, SignatureState::kCannotCheck, false, "algorithm"},  // NTE_BAD_ALGID
        {0x80091002, SignatureState::kCannotCheck, false, "algorithm"},  // CRYPT_E_UNKNOWN_ALGO
        {0x800B0001, SignatureState::kCannotCheck, false, "provider"},   // TRUST_E_PROVIDER_UNKNOWN
        {0x800B0002, SignatureState::kCannotCheck, false, "provider"},   // TRUST_E_ACTION_UNKNOWN
    };
    for (const Case& c : cases) {
        std::string problem = "left over";
        bool chainChecked = !c.chainChecked;
        // As WinVerifyTrust's LONG arrives: negative, and 64 bits wide on
        // the build machine.
        const long result = static_cast<int32_t>(c.result);
        EXPECT_EQ(c.state, TrustVerdict(result, &problem, &chainChecked)) << std::hex << c.result;
        EXPECT_EQ(c.chainChecked, chainChecked) << std::hex << c.result;
        EXPECT_NE(std::string::npos, problem.find(c.said)) << std::hex << c.result << ": " << problem;
        EXPECT_EQ(c.state == SignatureState::kSigned, problem.empty()) << std::hex << c.result;
    }
}

using X509Ptr = std::unique_ptr<X509, decltype(&X509_free)>;
using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, decltype(&PKCS7_free)>;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

PKCS7_SIGNER_INFO* FirstSigner(PKCS7* p7) { return sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7), 0); }

// A throwaway signer and time-stamp authority, and a module signed and
// stamped by them, made once for every case.
class TimeStamps : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char base[] = "/tmp/qmxstamp.XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(base));
        s_dir = base;
        const uint16_t numbers[4] = {1, 0, 0, 0};
        std::ofstream(s_dir + "/plain.dll", std::ios::binary)
            << BuildPeImage(SerializeVersionNode(StandardVersionTree("1.0", numbers)));
        const std::string make =
            "cd '" + s_dir + "' && ("
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 "
            "-subj '/CN=QMX Stamp Signer' && "
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout tsa.key -out tsa.pem -days 2 "
            "-subj '/CN=QMX Stamp Authority' -addext extendedKeyUsage=critical,timeStamping && "
            "for m in A B; do osslsigncode sign -certs signer.pem -key signer.key -h sha256 "
            "-TSA-certs tsa.pem -TSA-key tsa.key -n $m -in plain.dll -out $m.dll || exit 1; done && "
            "osslsigncode sign -certs signer.pem -key signer.key -h sha256 -in plain.dll -out bare.dll) >setup.log 2>&1";
        s_made = std::system(make.c_str()) == 0;
    }
    static void TearDownTestSuite() { std::system(("rm -rf '" + s_dir + "'").c_str()); }

    void SetUp() override {
        if (!s_made) GTEST_SKIP() << "openssl or osslsigncode cannot sign here: " << Read(s_dir + "/setup.log");
    }

    // The module's signature, parsed.
    static Pkcs7Ptr SignatureOf(const std::string& image) {
        const PeSignature sig = ReadPeSignature(image);
        const unsigned char* der = reinterpret_cast<const unsigned char*>(image.data()) + sig.pkcs7.begin;
        return Pkcs7Ptr(d2i_PKCS7(nullptr, &der, static_cast<long>(sig.pkcs7.end - sig.pkcs7.begin)), PKCS7_free);
    }

    // image with its certificate table holding p7 instead, where the old
    // table began: the Authenticode digest stays the same.
    static std::string WithSignature(const std::string& image, PKCS7* p7) {
        const PeSignature sig = ReadPeSignature(image);
        unsigned char* der = nullptr;
        const int size = i2d_PKCS7(p7, &der);
        std::string table(8, '\0');
        table += std::string(reinterpret_cast<const char*>(der), static_cast<size_t>(size));
        OPENSSL_free(der);
        table.resize((table.size() + 7) & ~size_t{7}, '\0');
        Put32(table, 0, static_cast<uint32_t>(table.size()));
        table[5] = 0x02;  // revision 2.0
        table[6] = 0x02;  // PKCS #7 SignedData
        const size_t tableAt = sig.pkcs7.begin - 8, entry = sig.hashed[1].end;
        std::string out = image.substr(0, tableAt) + table;
        Put32(out, entry + 4, static_cast<uint32_t>(table.size()));
        return out;
    }

    // The time stamp the file at path gets from CheckSignature.
    static SignatureInfo Check(const std::string& image) {
        const std::string path = s_dir + "/MODULE.DLL";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << image;
        return CheckSignature(path);
    }

    // A PKCS #9 counter-signature by the authority over digest, in place of
    // the RFC 3161 stamp of p7's signer, with the authority's certificate.
    static void CounterSign(PKCS7* p7, const std::string& digest) {
        FILE* pem = std::fopen((s_dir + "/tsa.pem").c_str(), "r");
        X509Ptr authority(PEM_read_X509(pem, nullptr, nullptr, nullptr), X509_free);
        std::fclose(pem);
        pem = std::fopen((s_dir + "/tsa.key").c_str(), "r");
        KeyPtr key(PEM_read_PrivateKey(pem, nullptr, nullptr, nullptr), EVP_PKEY_free);
        std::fclose(pem);
        ASSERT_TRUE(authority && key);
        PKCS7_SIGNER_INFO* counter = PKCS7_SIGNER_INFO_new();
        ASSERT_EQ(1, PKCS7_SIGNER_INFO_set(counter, authority.get(), key.get(), EVP_sha256()));
        PKCS7_add_attrib_content_type(counter, OBJ_nid2obj(NID_pkcs7_data));
        PKCS7_add1_attrib_digest(counter, reinterpret_cast<const unsigned char*>(digest.data()),
                                 static_cast<int>(digest.size()));
        ASSERT_EQ(1, PKCS7_SIGNER_INFO_sign(counter));
        unsigned char* der = nullptr;
        const int size = i2d_PKCS7_SIGNER_INFO(counter, &der);
        PKCS7_SIGNER_INFO_free(counter);
        ASN1_STRING* value = ASN1_STRING_new();
        ASN1_STRING_set(value, der, size);
        OPENSSL_free(der);
        PKCS7_SIGNER_INFO* signer = FirstSigner(p7);
        sk_X509_ATTRIBUTE_pop_free(signer->unauth_attr, X509_ATTRIBUTE_free);
        signer->unauth_attr = nullptr;
        PKCS7_add_attribute(signer, NID_pkcs9_countersignature, V_ASN1_SEQUENCE, value);
        PKCS7_add_certificate(p7, authority.get());
    }

    // The SHA-256 of p7's signer's signature value.
    static std::string DigestOfSignature(PKCS7* p7) {
        const ASN1_OCTET_STRING* value = FirstSigner(p7)->enc_digest;
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_Digest(value->data, static_cast<size_t>(value->length), out, &length, EVP_sha256(), nullptr);
        return std::string(reinterpret_cast<const char*>(out), length);
    }

    static std::string s_dir;
    static bool s_made;
};
std::string TimeStamps::s_dir;
bool TimeStamps::s_made = false;

TEST_F(TimeStamps, CountOnlyWhenTheyStampThisSignatureAndTheirAuthoritySignedThem) {
    const std::string a = Read(s_dir + "/A.dll"), b = Read(s_dir + "/B.dll");
    Pkcs7Ptr aSig = SignatureOf(a), bSig = SignatureOf(b);
    ASSERT_TRUE(aSig && bSig);

    // B's stamp moved onto A's signature: a real stamp, of another one.
    std::string moved;
    {
        Pkcs7Ptr p7 = SignatureOf(a);
        std::swap(FirstSigner(p7.get())->unauth_attr, FirstSigner(bSig.get())->unauth_attr);
        moved = WithSignature(a, p7.get());
    }
    // The signature's last byte is the last of the authority's signature
    // over the token, outside what the signer signed; the table may be
    // padded after it.
    std::string forged = a;
    const unsigned char* der = reinterpret_cast<const unsigned char*>(a.data()) + ReadPeSignature(a).pkcs7.begin;
    Pkcs7Ptr(d2i_PKCS7(nullptr, &der, static_cast<long>(a.size())), PKCS7_free);
    forged[static_cast<size_t>(der - reinterpret_cast<const unsigned char*>(a.data())) - 1] ^= 1;

    Pkcs7Ptr counter = SignatureOf(a), wrongCounter = SignatureOf(a), orphan = SignatureOf(a);
    CounterSign(counter.get(), DigestOfSignature(counter.get()));
    CounterSign(wrongCounter.get(), DigestOfSignature(bSig.get()));
    // Without the authority's certificate, as osslsigncode wrote the set.
    CounterSign(orphan.get(), DigestOfSignature(orphan.get()));
    X509_free(sk_X509_pop(orphan->d.sign->cert));

    struct Case {
        const char* what;
        std::string image;
        TimeStampState stamp;
        const char* problem;
    };
    const Case cases[] = {
        {"stamped by its authority", a, TimeStampState::kVerified, ""},
        {"without a stamp", Read(s_dir + "/bare.dll"), TimeStampState::kNone, ""},
        {"another signature's stamp", moved, TimeStampState::kDoesNotVerify, "it stamps another signature"},
        {"the authority's signature changed", forged, TimeStampState::kDoesNotVerify,
         "its authority's signature does not verify"},
        {"a counter-signature", WithSignature(a, counter.get()), TimeStampState::kVerified, ""},
        {"a counter-signature of another signature", WithSignature(a, wrongCounter.get()),
         TimeStampState::kDoesNotVerify, "it stamps another signature"},
        {"a counter-signature without its authority's certificate", WithSignature(a, orphan.get()),
         TimeStampState::kDoesNotVerify, "its authority's signature does not verify"},
    };
    for (const Case& c : cases) {
        const SignatureInfo info = Check(c.image);
        // None of it touches what the signer signed.
        EXPECT_EQ(SignatureState::kSigned, info.state) << c.what << ": " << info.problem;
        EXPECT_EQ("CN=QMX Stamp Signer", info.subject) << c.what;
        EXPECT_FALSE(info.chainChecked) << c.what;
        EXPECT_EQ(c.stamp, info.timeStamp) << c.what << ": " << info.timeStampProblem;
        EXPECT_EQ(c.problem, info.timeStampProblem) << c.what;
    }
}

}  // namespace
