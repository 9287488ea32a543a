#include "engine/seal/seal_signature.h"

#include "engine/seal/rsa_signature.h"
#include "engine/seal/sha256.h"
#include "engine/seal/signed_data.h"

namespace {

const char kContentType[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03";    // 1.2.840.113549.1.9.3
const char kMessageDigest[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x04";  // 1.2.840.113549.1.9.4
const char kRsaEncryption[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01";  // 1.2.840.113549.1.1.1
const char kSha256WithRsa[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x01\x0B";  // 1.2.840.113549.1.1.11

Sha256Digest DigestOf(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Final();
}

// The one element of an attribute's set of values, when it has tag.
bool OneValue(DerReader values, unsigned char tag, DerReader* value) {
    return values.Take(tag, value) && values.Empty();
}

// Whether the signed attributes say, once each and with one value, that the
// content is plain data and that its digest is digest.
bool AttributesVouchFor(DerReader attributes, const Sha256Digest& digest) {
    DerReader set;
    if (!attributes.Take(kDerContext0, &set)) return false;
    int typeSaid = 0, digestSaid = 0;
    while (!set.Empty()) {
        DerReader attribute, type, values, value;
        if (!set.Take(kDerSequence, &attribute) || !attribute.Take(kDerOid, &type) ||
            !attribute.Take(kDerSet, &values) || !attribute.Empty()) {
            return false;
        }
        if (type.Holds(kContentType)) {
            ++typeSaid;
            if (!OneValue(values, kDerOid, &value) || !value.Holds(kOidData)) return false;
        } else if (type.Holds(kMessageDigest)) {
            ++digestSaid;
            if (!OneValue(values, kDerOctets, &value) ||
                !value.Holds(reinterpret_cast<const char*>(digest.data()), digest.size())) {
                return false;
            }
        }
    }
    return typeSaid == 1 && digestSaid == 1;
}

SealSignatureState Judge(const std::string& bytes, const CmsSignedData& data, const ByteRange& certificate,
                         const std::string& signerCertificate, const std::string& seal,
                         const std::string* required) {
    if (required != nullptr && signerCertificate != *required) return SealSignatureState::kOtherSigner;
    const CmsSigner& signer = data.signer;
    const bool rsa = signer.signatureAlgorithm.Holds(kRsaEncryption) || signer.signatureAlgorithm.Holds(kSha256WithRsa);
    CertificateParts parts;
    RsaPublicKey key;
    if (!signer.digestAlgorithm.Holds(kOidSha256) || !rsa ||
        !ReadCertificate(DerReader(bytes, certificate.begin, certificate.end), &parts) ||
        !ReadRsaPublicKey(parts.publicKey, &key)) {
        return SealSignatureState::kUnsupported;
    }
    Sha256Digest digest = DigestOf(seal);
    if (signer.hasSignedAttributes) {
        const ByteRange& attributes = signer.signedAttributes;
        if (!AttributesVouchFor(DerReader(bytes, attributes.begin, attributes.end), digest)) {
            return SealSignatureState::kDoesNotVerify;
        }
        // Signed as the SET OF they are, not under the [0] they are carried in.
        const char set = static_cast<char>(kDerSet);
        Sha256 hash;
        hash.Update(&set, 1);
        hash.Update(bytes.data() + attributes.begin + 1, attributes.end - attributes.begin - 1);
        digest = hash.Final();
    }
    return VerifyRsaSha256(key, digest, signer.signature.Text()) ? SealSignatureState::kVerified
                                                                 : SealSignatureState::kDoesNotVerify;
}

}  // namespace

SealSignature CheckSealSignature(const std::string& signature, const std::string& seal,
                                 const std::string* required) {
    SealSignature result;
    CmsSignedData data;
    ByteRange certificate = {0, 0};
    if (!ReadSignedData(signature, 0, signature.size(), &data) || data.end != signature.size() ||
        !data.contentType.Holds(kOidData) || data.hasContent || data.signers != 1 ||
        !FindSignerCertificate(data, &certificate)) {
        return result;
    }
    result.signer = BytesOf(signature, certificate);
    result.state = Judge(signature, data, certificate, result.signer, seal, required);
    return result;
}
