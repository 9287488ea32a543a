// Throwaway keys, certificates and signatures made by OpenSSL's libcrypto,
// for the native tests of our own RSA and CMS checks: what openssl makes is
// what a package author's tools make.
#pragma once

#include <memory>
#include <string>

struct evp_pkey_st;
struct x509_st;

class TestSigner {
public:
    // An RSA key of bits with the public exponent, or a P-256 key, and a
    // certificate for it that names name as its subject and issuer.
    static TestSigner Rsa(int bits, unsigned long exponent = 65537, const std::string& name = "QMX Test A");
    static TestSigner Ec(const std::string& name = "QMX Test EC");
    // Another key whose certificate has this one's issuer and serial number.
    TestSigner Impostor() const;

    std::string Certificate() const;     // DER
    std::string PublicKeyInfo() const;   // the SubjectPublicKeyInfo, DER
    // The PKCS #1 v1.5 signature of data's SHA-256.
    std::string SignSha256(const std::string& data) const;
    // block ^ d mod n, block as many bytes as the modulus: any block signed,
    // padding or not.
    std::string RawSign(const std::string& block) const;

    struct CmsOptions {
        bool attributes = true;       // signed attributes, as openssl cms writes them by default
        bool sha1 = false;            // SHA-1 instead of SHA-256
        bool keyIdentifier = false;   // name the signer by its subject key identifier
        bool embed = false;           // the content inside, not detached
        const TestSigner* second = nullptr;  // a second signer
        const TestSigner* extra = nullptr;   // one more certificate in the set
    };
    // A CMS SignedData over content, in DER, as "openssl cms -sign -binary
    // -outform DER" writes it.
    std::string SignCms(const std::string& content, const CmsOptions& options) const;

private:
    std::shared_ptr<evp_pkey_st> m_key;
    std::shared_ptr<x509_st> m_certificate;
};

// The smallest number whose cube is at least number (both big-endian).
std::string CubeRootUp(const std::string& number);

// count random bytes.
std::string RandomBytes(size_t count);
