#include "engine/seal/signed_data.h"

namespace {

const char kOidSignedData[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";  // 1.2.840.113549.1.7.2

// An AlgorithmIdentifier's object identifier; its parameters are not read.
bool TakeAlgorithm(DerReader& reader, DerReader* oid) {
    DerReader algorithm;
    return reader.Take(kDerSequence, &algorithm) && algorithm.Take(kDerOid, oid);
}

bool ReadSigner(DerReader info, CmsSigner* signer) {
    // The version, then IssuerAndSerialNumber or a [0] subject key identifier.
    const unsigned char sidTag = info.Skip(kDerInteger) ? info.Peek() : 0;
    signer->sidIsIssuerAndSerial = sidTag == kDerSequence;
    if ((sidTag != kDerSequence && sidTag != kDerImplicit0) || !info.Take(sidTag, &signer->sid)) return false;
    DerReader attributes;
    if (!TakeAlgorithm(info, &signer->digestAlgorithm)) return false;
    signer->hasSignedAttributes = info.Take(kDerContext0, &attributes, &signer->signedAttributes);
    if (!TakeAlgorithm(info, &signer->signatureAlgorithm) || !info.Take(kDerOctets, &signer->signature)) {
        return false;
    }
    info.Take(kDerContext1, &signer->unsignedAttributes);
    return info.Empty();
}

}  // namespace

bool ReadSignedData(const std::string& bytes, size_t begin, size_t end, CmsSignedData* data) {
    DerReader whole(bytes, begin, end), info, explicitBody, body, contentInfo, signerInfos, signerInfo;
    if (!whole.Take(kDerSequence, &info) || !info.TakeOid(kOidSignedData)) return false;
    data->end = whole.Begin();
    if (!info.Take(kDerContext0, &explicitBody) || !explicitBody.Take(kDerSequence, &body)) return false;
    // The version and the digest algorithms, then what was signed.
    if (!body.Skip(kDerInteger) || !body.Skip(kDerSet) || !body.Take(kDerSequence, &contentInfo) ||
        !contentInfo.Take(kDerOid, &data->contentType)) {
        return false;
    }
    data->hasContent = contentInfo.Take(kDerContext0, &data->content);
    body.Take(kDerContext0, &data->certificates);
    body.Skip(kDerContext1);  // revocation lists
    if (!body.Take(kDerSet, &signerInfos)) return false;
    data->signers = 0;
    for (; !signerInfos.Empty(); ++data->signers) {
        CmsSigner signer;
        if (!signerInfos.Take(kDerSequence, &signerInfo) || !ReadSigner(signerInfo, &signer)) return false;
        if (data->signers == 0) data->signer = signer;
    }
    return data->signers != 0;
}

bool ReadCertificate(DerReader certificate, CertificateParts* parts) {
    DerReader whole, tbs, part;
    if (!certificate.Take(kDerSequence, &whole) || !certificate.Empty() || !whole.Take(kDerSequence, &tbs)) {
        return false;
    }
    tbs.Skip(kDerContext0);  // the version
    // The serial number, the signature's algorithm, the issuer, the
    // validity, the subject, the key; each kept whole.
    DerReader* const wanted[] = {&parts->serial, nullptr, &parts->issuer, nullptr, &parts->subject, &parts->publicKey};
    const unsigned char tags[] = {kDerInteger, kDerSequence, kDerSequence, kDerSequence, kDerSequence, kDerSequence};
    for (size_t i = 0; i < sizeof tags; ++i) {
        ByteRange range = {0, 0};
        if (!tbs.Take(tags[i], &part, &range)) return false;
        if (wanted[i] != nullptr) *wanted[i] = tbs.Part(range);
    }
    return true;
}

bool FindSignerCertificate(const CmsSignedData& data, ByteRange* certificate) {
    DerReader sid = data.signer.sid, issuer, serial, part;
    ByteRange range = {0, 0};
    if (!data.signer.sidIsIssuerAndSerial || !sid.Take(kDerSequence, &part, &range)) return false;
    issuer = sid.Part(range);
    if (!sid.Take(kDerInteger, &part, &range) || !sid.Empty()) return false;
    serial = sid.Part(range);
    // Anyone may add certificates to the set: a second one with the same
    // issuer and serial number leaves the signer's certificate unknown.
    DerReader certificates = data.certificates;
    int found = 0;
    while (!certificates.Empty()) {
        const unsigned char tag = certificates.Peek();
        CertificateParts parts;
        if (!certificates.Take(tag, &part, &range)) return false;
        if (tag == kDerSequence && ReadCertificate(certificates.Part(range), &parts) && parts.issuer.Holds(issuer) &&
            parts.serial.Holds(serial)) {
            *certificate = range;
            ++found;
        }
    }
    return found == 1;
}
