// The build machine's side: OpenSSL's libcrypto, the library Debian keeps
// for every program that checks signatures, hashes the file as Authenticode
// does and checks the signer's signature over that digest by the
// certificate the signature carries. The chain is not asked about: which
// roots count is each fleet's policy, and Windows decides it there. A time
// stamp is checked the same way: its digest of the signer's signature, and
// its authority's signature by the certificate it carries.
#include "check/signature_check.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Freer<PKCS7, PKCS7_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using MdContextPtr = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Freer<CMS_ContentInfo, CMS_ContentInfo_free>>;
using TstInfoPtr = std::unique_ptr<TS_TST_INFO, Freer<TS_TST_INFO, TS_TST_INFO_free>>;
using SignerInfoPtr = std::unique_ptr<PKCS7_SIGNER_INFO, Freer<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>>;

const char kRfc3161TimeStamp[] = "1.3.6.1.4.1.311.3.3.1";

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

// Whether stamped, md's digest of the signature a time stamp stamps, is the
// digest the stamp holds.
bool StampsThis(const EVP_MD* md, const ASN1_OCTET_STRING* stamped, const ASN1_OCTET_STRING* held) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (md == nullptr ||
        EVP_Digest(stamped->data, static_cast<size_t>(stamped->length), out, &length, md, nullptr) != 1) {
        return false;
    }
    return held != nullptr && static_cast<unsigned int>(held->length) == length &&
           std::equal(out, out + length, held->data);
}

struct StampVerdict {
    TimeStampState state;
    const char* problem;
};
const StampVerdict kStampVerified = {TimeStampState::kVerified, ""};
const StampVerdict kStampUnknownDigest = {TimeStampState::kNotChecked,
                                          "its digest algorithm is not one this check knows"};
const StampVerdict kStampOfAnother = {TimeStampState::kDoesNotVerify, "it stamps another signature"};
const StampVerdict kStampUnsigned = {TimeStampState::kDoesNotVerify, "its authority's signature does not verify"};
const StampVerdict kStampUnreadable = {TimeStampState::kDoesNotVerify, "it cannot be read"};

// An RFC 3161 token, as Authenticode keeps it: a SignedData whose content,
// the TSTInfo, holds the digest of the signer's signature as its message
// imprint. CMS_verify checks the authority's signature over the TSTInfo.
StampVerdict CheckRfc3161(const ASN1_STRING* token, const ASN1_OCTET_STRING* signature) {
    const unsigned char* der = token->data;
    CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &der, token->length));
    if (!cms || OBJ_obj2nid(CMS_get0_eContentType(cms.get())) != NID_id_smime_ct_TSTInfo) return kStampUnreadable;
    BioPtr content(BIO_new(BIO_s_mem()));
    if (!content ||
        CMS_verify(cms.get(), nullptr, nullptr, nullptr, content.get(), CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1) {
        return kStampUnsigned;
    }
    TstInfoPtr info(d2i_TS_TST_INFO_bio(content.get(), nullptr));
    if (!info) return kStampUnreadable;
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info.get());
    const EVP_MD* md = EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(imprint)->algorithm);
    if (md == nullptr) return kStampUnknownDigest;
    return StampsThis(md, signature, TS_MSG_IMPRINT_get_msg(imprint)) ? kStampVerified : kStampOfAnother;
}

// A PKCS #9 counter-signature: a SignerInfo whose signed attributes hold the
// digest of the signer's signature, by a certificate of the SignedData.
StampVerdict CheckCounterSignature(PKCS7* p7, const ASN1_STRING* value, const ASN1_OCTET_STRING* signature) {
    const unsigned char* der = value->data;
    SignerInfoPtr counter(d2i_PKCS7_SIGNER_INFO(nullptr, &der, value->length));
    if (!counter || counter->issuer_and_serial == nullptr) return kStampUnreadable;
    const EVP_MD* md = EVP_get_digestbyobj(counter->digest_alg->algorithm);
    if (md == nullptr) return kStampUnknownDigest;
    if (!StampsThis(md, signature, PKCS7_digest_from_attributes(counter->auth_attr))) return kStampOfAnother;
    X509* authority = X509_find_by_issuer_and_serial(p7->d.sign->cert, counter->issuer_and_serial->issuer,
                                                     counter->issuer_and_serial->serial);
    if (authority == nullptr) return kStampUnsigned;
    // The signature is over the attributes as a SET, not as the [0] they
    // are written with.
    unsigned char* attributes = nullptr;
    const int length = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(counter->auth_attr), &attributes,
                                     ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    MdContextPtr context(EVP_MD_CTX_new());
    const bool verified = length > 0 && context &&
                          EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, X509_get0_pubkey(authority)) == 1 &&
                          EVP_DigestVerify(context.get(), counter->enc_digest->data,
                                           static_cast<size_t>(counter->enc_digest->length), attributes,
                                           static_cast<size_t>(length)) == 1;
    OPENSSL_free(attributes);
    return verified ? kStampVerified : kStampUnsigned;
}

// The first time stamp among the signer's unsigned attributes, checked.
StampVerdict CheckTimeStamp(PKCS7* p7) {
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7), 0);
    if (signer == nullptr) return kStampUnreadable;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(signer->unauth_attr); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(signer->unauth_attr, i);
        char oid[64];
        if (OBJ_obj2txt(oid, sizeof oid, X509_ATTRIBUTE_get0_object(attribute), 1) <= 0) continue;
        const bool rfc3161 = std::string(oid) == kRfc3161TimeStamp;
        if (!rfc3161 && OBJ_obj2nid(X509_ATTRIBUTE_get0_object(attribute)) != NID_pkcs9_countersignature) continue;
        ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
        if (value == nullptr || value->type != V_ASN1_SEQUENCE) return kStampUnreadable;
        return rfc3161 ? CheckRfc3161(value->value.sequence, signer->enc_digest)
                       : CheckCounterSignature(p7, value->value.sequence, signer->enc_digest);
    }
    return kStampUnreadable;
}

SignatureInfo Check(const std::string& bytes, const PeSignature& sig) {
    const unsigned char* der = reinterpret_cast<const unsigned char*>(bytes.data()) + sig.pkcs7.begin;
    Pkcs7Ptr p7(d2i_PKCS7(nullptr, &der, static_cast<long>(sig.pkcs7.end - sig.pkcs7.begin)));
    if (!p7 || !PKCS7_type_is_signed(p7.get())) {
        return SignatureOf(SignatureState::kDamaged, "its signature cannot be read (damaged)");
    }
    SignatureInfo info;
    info.subject = SignerSubject(p7.get());
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
    if (sig.carriesTimeStamp) {
        const StampVerdict stamp = CheckTimeStamp(p7.get());
        info.timeStamp = stamp.state;
        info.timeStampProblem = stamp.problem;
    }
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
