// The build machine's side: OpenSSL's libcrypto, the library Debian keeps
// for every program that checks signatures, hashes the file as Authenticode
// does and checks the signer's signature over that digest. The chain is not
// asked about: which roots count is each fleet's policy, and Windows decides
// it there.
#include "check/signature_check.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Freer<PKCS7, PKCS7_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using MdContextPtr = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;

bool Digest(const EVP_MD* md, const std::string& bytes, const PeSignature& sig, std::string* digest) {
    MdContextPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1) return false;
    for (const ByteRange& range : sig.hashed) {
        if (EVP_DigestUpdate(context.get(), bytes.data() + range.begin, range.end - range.begin) != 1) return false;
    }
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), out, &length) != 1) return false;
    digest->assign(reinterpret_cast<const char*>(out), length);
    return true;
}

std::string SubjectOf(X509* certificate) {
    std::string subject;
    BioPtr out(BIO_new(BIO_s_mem()));
    // In the order the name is written, "CN=..., O=..., C=...", as Windows'
    // CertNameToStr gives it.
    if (out && X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0,
                                  XN_FLAG_SEP_CPLUS_SPC | ASN1_STRFLGS_UTF8_CONVERT) >= 0) {
        char* text = nullptr;
        const long length = BIO_get_mem_data(out.get(), &text);
        if (length > 0) subject.assign(text, static_cast<size_t>(length));
    }
    return subject;
}

std::string SignerSubject(PKCS7* p7) {
    STACK_OF(X509)* signers = PKCS7_get0_signers(p7, nullptr, 0);
    if (signers == nullptr) return std::string();
    const std::string subject = sk_X509_num(signers) > 0 ? SubjectOf(sk_X509_value(signers, 0)) : std::string();
    sk_X509_free(signers);
    return subject;
}

SignatureInfo Check(const std::string& bytes, const PeSignature& sig) {
    const unsigned char* der = reinterpret_cast<const unsigned char*>(bytes.data()) + sig.pkcs7.begin;
    Pkcs7Ptr p7(d2i_PKCS7(nullptr, &der, static_cast<long>(sig.pkcs7.end - sig.pkcs7.begin)));
    if (!p7 || !PKCS7_type_is_signed(p7.get())) {
        return SignatureOf(SignatureState::kDamaged, "its signature cannot be read (damaged)");
    }
    SignatureInfo info;
    info.subject = SignerSubject(p7.get());
    info.timestamped = sig.timestamped;
    const EVP_MD* md = sig.digestName.empty() ? nullptr : EVP_get_digestbyname(sig.digestName.c_str());
    std::string digest;
    if (md == nullptr || !Digest(md, bytes, sig, &digest)) {
        info.state = SignatureState::kCannotCheck;
        info.problem = "its digest algorithm is not one this check knows";
        return info;
    }
    if (digest != sig.digest) {
        info.state = SignatureState::kDamaged;
        info.problem = "the file's " + sig.digestName + " digest no longer matches the one signed";
        return info;
    }
    // The signer's digest covers the signed content's value without its
    // tag and length: that is how Authenticode signs it.
    BioPtr content(BIO_new_mem_buf(bytes.data() + sig.content.begin, static_cast<int>(sig.content.end - sig.content.begin)));
    if (!content || PKCS7_verify(p7.get(), nullptr, nullptr, content.get(), nullptr, PKCS7_NOVERIFY) != 1) {
        info.state = SignatureState::kDamaged;
        info.problem = "the signer's signature over the file's digest does not verify";
        return info;
    }
    info.state = SignatureState::kSigned;
    return info;
}

}  // namespace

std::string CertificateSubject(const std::string& certificate) {
    const unsigned char* der = reinterpret_cast<const unsigned char*>(certificate.data());
    X509* parsed = d2i_X509(nullptr, &der, static_cast<long>(certificate.size()));
    const std::string subject = parsed != nullptr ? SubjectOf(parsed) : std::string();
    X509_free(parsed);
    ERR_clear_error();
    return subject;
}

SignatureInfo VerifySignature(const std::string&, const std::string& bytes, const PeSignature& sig) {
    SignatureInfo info = Check(bytes, sig);
    // A damaged signature leaves reasons on OpenSSL's queue; the next file
    // must not find them.
    ERR_clear_error();
    return info;
}
