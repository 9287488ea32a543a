#include "check/openssl_signer.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace {

// Test programs keep exceptions: a step OpenSSL refuses ends the test.
void Require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("OpenSSL: ") + what);
}

template <typename T>
std::string ToDer(T* object, int (*encode)(const T*, unsigned char**)) {
    unsigned char* out = nullptr;
    const int size = encode(object, &out);
    Require(size > 0, "DER");
    std::string der(reinterpret_cast<char*>(out), static_cast<size_t>(size));
    OPENSSL_free(out);
    return der;
}

std::shared_ptr<EVP_PKEY> RsaKey(int bits, unsigned long exponent) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    BIGNUM* e = BN_new();
    EVP_PKEY* key = nullptr;
    Require(context != nullptr && e != nullptr && BN_set_word(e, exponent) == 1 &&
                EVP_PKEY_keygen_init(context) == 1 && EVP_PKEY_CTX_set_rsa_keygen_bits(context, bits) == 1 &&
                EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context, e) == 1 && EVP_PKEY_keygen(context, &key) == 1,
            "RSA key");
    BN_free(e);
    EVP_PKEY_CTX_free(context);
    return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

// A certificate of key under name (subject and issuer) and serial, signed by
// key, with a subject key identifier.
std::shared_ptr<X509> Certify(EVP_PKEY* key, const X509_NAME* name, const ASN1_INTEGER* serial) {
    std::shared_ptr<X509> certificate(X509_new(), X509_free);
    X509* c = certificate.get();
    Require(c != nullptr && X509_set_version(c, 2) == 1 && X509_set_serialNumber(c, const_cast<ASN1_INTEGER*>(serial)) == 1 &&
                X509_gmtime_adj(X509_getm_notBefore(c), 0) != nullptr &&
                X509_gmtime_adj(X509_getm_notAfter(c), 86400) != nullptr && X509_set_pubkey(c, key) == 1 &&
                X509_set_subject_name(c, name) == 1 && X509_set_issuer_name(c, name) == 1,
            "certificate");
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, c, c, nullptr, nullptr, 0);
    X509_EXTENSION* keyId = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_key_identifier, "hash");
    Require(keyId != nullptr && X509_add_ext(c, keyId, -1) == 1, "subject key identifier");
    X509_EXTENSION_free(keyId);
    Require(X509_sign(c, key, EVP_sha256()) > 0, "certificate signature");
    return certificate;
}

std::shared_ptr<X509> Certify(EVP_PKEY* key, const std::string& text, long number) {
    std::shared_ptr<X509_NAME> name(X509_NAME_new(), X509_NAME_free);
    std::shared_ptr<ASN1_INTEGER> serial(ASN1_INTEGER_new(), ASN1_INTEGER_free);
    Require(name && serial && ASN1_INTEGER_set(serial.get(), number) == 1 &&
                X509_NAME_add_entry_by_txt(name.get(), "CN", MBSTRING_ASC,
                                           reinterpret_cast<const unsigned char*>(text.c_str()), -1, -1, 0) == 1,
            "name");
    return Certify(key, name.get(), serial.get());
}

BIGNUM* Number(const std::string& bytes) {
    return BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), nullptr);
}

}  // namespace

TestSigner TestSigner::Rsa(int bits, unsigned long exponent, const std::string& name) {
    TestSigner signer;
    signer.m_key = RsaKey(bits, exponent);
    signer.m_certificate = Certify(signer.m_key.get(), name, 1000 + bits);
    return signer;
}

TestSigner TestSigner::Ec(const std::string& name) {
    TestSigner signer;
    signer.m_key.reset(EVP_EC_gen("P-256"), EVP_PKEY_free);
    Require(signer.m_key != nullptr, "EC key");
    signer.m_certificate = Certify(signer.m_key.get(), name, 7);
    return signer;
}

TestSigner TestSigner::Impostor() const {
    TestSigner impostor;
    impostor.m_key = RsaKey(2048, 65537);
    impostor.m_certificate = Certify(impostor.m_key.get(), X509_get_issuer_name(m_certificate.get()),
                                     X509_get0_serialNumber(m_certificate.get()));
    return impostor;
}

std::string TestSigner::Certificate() const { return ToDer<X509>(m_certificate.get(), i2d_X509); }

std::string TestSigner::PublicKeyInfo() const { return ToDer<EVP_PKEY>(m_key.get(), i2d_PUBKEY); }

std::string TestSigner::SignSha256(const std::string& data) const {
    std::shared_ptr<EVP_MD_CTX> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    size_t size = 0;
    Require(context && EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, m_key.get()) == 1 &&
                EVP_DigestSignUpdate(context.get(), data.data(), data.size()) == 1 &&
                EVP_DigestSignFinal(context.get(), nullptr, &size) == 1,
            "signature size");
    std::string signature(size, '\0');
    Require(EVP_DigestSignFinal(context.get(), reinterpret_cast<unsigned char*>(&signature[0]), &size) == 1,
            "signature");
    signature.resize(size);
    return signature;
}

std::string TestSigner::RawSign(const std::string& block) const {
    std::shared_ptr<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(m_key.get(), nullptr), EVP_PKEY_CTX_free);
    const unsigned char* in = reinterpret_cast<const unsigned char*>(block.data());
    size_t size = 0;
    Require(context && EVP_PKEY_sign_init(context.get()) == 1 &&
                EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_NO_PADDING) == 1 &&
                EVP_PKEY_sign(context.get(), nullptr, &size, in, block.size()) == 1,
            "raw signature size");
    std::string signature(size, '\0');
    Require(EVP_PKEY_sign(context.get(), reinterpret_cast<unsigned char*>(&signature[0]), &size, in,
                          block.size()) == 1,
            "raw signature");
    return signature;
}

std::string TestSigner::SignCms(const std::string& content, const CmsOptions& options) const {
    const unsigned flags = CMS_BINARY | CMS_PARTIAL | (options.embed ? 0 : CMS_DETACHED);
    const unsigned signerFlags = CMS_BINARY | (options.attributes ? 0 : CMS_NOATTR) |
                                 (options.keyIdentifier ? CMS_USE_KEYID : 0);
    std::shared_ptr<BIO> in(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())), BIO_free);
    std::shared_ptr<CMS_ContentInfo> cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags), CMS_ContentInfo_free);
    Require(in && cms &&
                CMS_add1_signer(cms.get(), m_certificate.get(), m_key.get(), options.sha1 ? EVP_sha1() : EVP_sha256(),
                                signerFlags) != nullptr,
            "CMS signer");
    if (options.second != nullptr) {
        Require(CMS_add1_signer(cms.get(), options.second->m_certificate.get(), options.second->m_key.get(),
                                EVP_sha256(), signerFlags) != nullptr,
                "second CMS signer");
    }
    if (options.extra != nullptr) Require(CMS_add1_cert(cms.get(), options.extra->m_certificate.get()) == 1, "CMS cert");
    Require(CMS_final(cms.get(), in.get(), nullptr, flags) == 1, "CMS final");
    return ToDer<CMS_ContentInfo>(cms.get(), i2d_CMS_ContentInfo);
}

std::string CubeRootUp(const std::string& number) {
    std::shared_ptr<BN_CTX> context(BN_CTX_new(), BN_CTX_free);
    std::shared_ptr<BIGNUM> n(Number(number), BN_free), x(BN_new(), BN_free), y(BN_new(), BN_free),
        square(BN_new(), BN_free), cube(BN_new(), BN_free), three(BN_new(), BN_free);
    Require(context && n && x && y && square && cube && three && BN_set_word(three.get(), 3) == 1 &&
                BN_lshift(x.get(), BN_value_one(), BN_num_bits(n.get()) / 3 + 1) == 1,
            "cube root");
    // Newton's steps from above, x = (2x + n / x^2) / 3, down to the root
    // rounded down; then one up unless it is exact.
    for (;;) {
        Require(BN_sqr(square.get(), x.get(), context.get()) == 1 &&
                    BN_div(y.get(), nullptr, n.get(), square.get(), context.get()) == 1 &&
                    BN_add(y.get(), y.get(), x.get()) == 1 && BN_add(y.get(), y.get(), x.get()) == 1 &&
                    BN_div(y.get(), nullptr, y.get(), three.get(), context.get()) == 1,
                "Newton step");
        if (BN_cmp(y.get(), x.get()) >= 0) break;
        BN_copy(x.get(), y.get());
    }
    Require(BN_sqr(square.get(), x.get(), context.get()) == 1 &&
                BN_mul(cube.get(), square.get(), x.get(), context.get()) == 1,
            "cube");
    if (BN_cmp(cube.get(), n.get()) < 0) BN_add_word(x.get(), 1);
    std::string root(static_cast<size_t>(BN_num_bytes(x.get())), '\0');
    BN_bn2bin(x.get(), reinterpret_cast<unsigned char*>(&root[0]));
    return root;
}

std::string RandomBytes(size_t count) {
    std::string bytes(count, '\0');
    Require(RAND_bytes(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<int>(count)) == 1, "random");
    return bytes;
}
