// The build machine's signer: OpenSSL's libcrypto reads the key and makes
// the CMS signature, the installer's own check then reads it back.
#include "check/seal_signing.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <memory>

#include "check/whole_file.h"
#include "engine/seal/rsa_signature.h"
#include "engine/seal/seal_signature.h"

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePtr = std::unique_ptr<X509, Freer<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Freer<CMS_ContentInfo, CMS_ContentInfo_free>>;

void FreeChain(STACK_OF(X509)* chain) { sk_X509_pop_free(chain, X509_free); }

struct Signer {
    KeyPtr key;
    CertificatePtr certificate;
};

// The password file's first line; "" without one.
bool ReadPassword(const std::string& file, std::string* password, std::string* problem) {
    if (file.empty()) return true;
    if (!ReadWholeFile(file, password, 4096)) {
        *problem = "cannot read the password file " + file;
        return false;
    }
    const size_t end = password->find_first_of("\r\n");
    if (end != std::string::npos) password->erase(end);
    return true;
}

// Hands OpenSSL the password, never a prompt: a pipeline has no terminal.
int GivePassword(char* buffer, int size, int, void* data) {
    const std::string& password = *static_cast<const std::string*>(data);
    if (password.empty() || password.size() > static_cast<size_t>(size)) return 0;
    password.copy(buffer, password.size());
    return static_cast<int>(password.size());
}

bool LoadPkcs12(const std::string& path, const std::string& password, Signer* signer) {
    BioPtr in(BIO_new_file(path.c_str(), "rb"));
    PKCS12* bundle = in ? d2i_PKCS12_bio(in.get(), nullptr) : nullptr;
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const bool parsed = bundle != nullptr && PKCS12_parse(bundle, password.c_str(), &key, &certificate, &chain) == 1;
    PKCS12_free(bundle);
    FreeChain(chain);
    signer->key.reset(key);
    signer->certificate.reset(certificate);
    return parsed && key != nullptr && certificate != nullptr;
}

bool LoadPem(const SealSignerFiles& files, std::string& password, Signer* signer) {
    BioPtr certificate(BIO_new_file(files.certificate.c_str(), "rb")), key(BIO_new_file(files.key.c_str(), "rb"));
    if (!certificate || !key) return false;
    signer->certificate.reset(PEM_read_bio_X509(certificate.get(), nullptr, nullptr, nullptr));
    signer->key.reset(PEM_read_bio_PrivateKey(key.get(), nullptr, GivePassword, &password));
    return signer->certificate && signer->key;
}

// The key and certificate of files, held to what the installer checks.
bool Load(const SealSignerFiles& files, Signer* signer, std::string* problem) {
    std::string password;
    if (!ReadPassword(files.passwordFile, &password, problem)) return false;
    const bool loaded = files.key.empty() ? LoadPkcs12(files.certificate, password, signer)
                                          : LoadPem(files, password, signer);
    ERR_clear_error();
    if (!loaded) {
        *problem = "cannot read the signer's key and certificate from " + files.certificate +
                   (files.key.empty() ? "" : " and " + files.key) + " (a wrong password, or not " +
                   (files.key.empty() ? "a PKCS #12 bundle)" : "PEM)");
        return false;
    }
    const int bits = EVP_PKEY_get_bits(signer->key.get());
    if (EVP_PKEY_get_base_id(signer->key.get()) != EVP_PKEY_RSA) {
        *problem = "the signer's key is not RSA: QMXSET.EXE checks RSA signatures only, on every Windows it starts on";
    } else if (bits < static_cast<int>(8 * kRsaMinModulusBytes) || bits > static_cast<int>(8 * kRsaMaxModulusBytes)) {
        *problem = "the signer's RSA key has " + std::to_string(bits) + " bits: QMXSET.EXE checks keys of 2048 to 4096";
    } else if (X509_check_private_key(signer->certificate.get(), signer->key.get()) != 1) {
        *problem = "the key is not the certificate's";
    }
    ERR_clear_error();
    return problem->empty();
}

std::string Der(X509* certificate) {
    unsigned char* out = nullptr;
    const int size = i2d_X509(certificate, &out);
    std::string der = size > 0 ? std::string(reinterpret_cast<char*>(out), static_cast<size_t>(size)) : "";
    OPENSSL_free(out);
    return der;
}

}  // namespace

int ReadSealSigner(const SealSignerFiles& files, std::string* certificate, std::string* problem) {
    Signer signer;
    if (!Load(files, &signer, problem)) return 0;
    *certificate = Der(signer.certificate.get());
    return 1;
}

int SignSeal(const SealSignerFiles& files, const std::string& seal, std::string* signature, std::string* problem) {
    Signer signer;
    if (!Load(files, &signer, problem)) return 0;
    // Signed attributes with SHA-256, as openssl cms -sign writes them.
    const unsigned flags = CMS_BINARY | CMS_DETACHED | CMS_PARTIAL;
    BioPtr in(BIO_new_mem_buf(seal.data(), static_cast<int>(seal.size())));
    CmsPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    unsigned char* out = nullptr;
    const int size = in && cms &&
                             CMS_add1_signer(cms.get(), signer.certificate.get(), signer.key.get(), EVP_sha256(),
                                             CMS_BINARY) != nullptr &&
                             CMS_final(cms.get(), in.get(), nullptr, flags) == 1
                         ? i2d_CMS_ContentInfo(cms.get(), &out)
                         : 0;
    ERR_clear_error();
    if (size > 0) signature->assign(reinterpret_cast<char*>(out), static_cast<size_t>(size));
    OPENSSL_free(out);
    const std::string certificate = Der(signer.certificate.get());
    if (size <= 0 || CheckSealSignature(*signature, seal, &certificate).state != SealSignatureState::kVerified) {
        *problem = "OpenSSL made no signature the installer verifies";
        return 0;
    }
    return 1;
}
