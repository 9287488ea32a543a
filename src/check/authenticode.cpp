#include "check/authenticode.h"

#include "engine/seal/der_reader.h"
#include "engine/seal/signed_data.h"
#include "engine/version/pe_image.h"

namespace {

// Object identifiers, as their DER contents.
const char kIndirectData[] = "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04";       // 1.3.6.1.4.1.311.2.1.4
const char kCounterSignature[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x06";       // 1.2.840.113549.1.9.6
const char kRfc3161TimeStamp[] = "\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01";   // 1.3.6.1.4.1.311.3.3.1

struct DigestOid {
    const char* oid;
    size_t size;
    const char* name;
};
const DigestOid kDigests[] = {
    {"\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9, "SHA256"},
    {"\x60\x86\x48\x01\x65\x03\x04\x02\x02", 9, "SHA384"},
    {"\x60\x86\x48\x01\x65\x03\x04\x02\x03", 9, "SHA512"},
    {"\x2B\x0E\x03\x02\x1A", 5, "SHA1"},
    {"\x2A\x86\x48\x86\xF7\x0D\x02\x05", 8, "MD5"},
};

// The SpcIndirectDataContent: which digest, and of what value.
bool ReadIndirectData(DerReader content, PeSignature* sig) {
    DerReader indirect, data, digestInfo, algorithm, oid, digest;
    if (!content.Take(kDerSequence, &indirect)) return false;
    sig->content = {indirect.Begin(), indirect.End()};
    if (!indirect.Take(kDerSequence, &data) || !indirect.Take(kDerSequence, &digestInfo)) return false;
    if (!digestInfo.Take(kDerSequence, &algorithm) || !algorithm.Take(kDerOid, &oid)) return false;
    if (!digestInfo.Take(kDerOctets, &digest)) return false;
    const std::string text = oid.Text();
    for (const DigestOid& d : kDigests) {
        if (text == std::string(d.oid, d.size)) sig->digestName = d.name;
    }
    sig->digest = digest.Text();
    return true;
}

// Whether the first signer's unsigned attributes hold a time stamp.
bool ReadTimeStamp(const CmsSigner& signer, bool* stamped) {
    DerReader attributes = signer.unsignedAttributes;
    while (!attributes.Empty()) {
        DerReader attribute;
        if (!attributes.Take(kDerSequence, &attribute)) return false;
        DerReader probe = attribute;
        if (probe.TakeOid(kCounterSignature) || attribute.TakeOid(kRfc3161TimeStamp)) *stamped = true;
    }
    return true;
}

bool ReadAuthenticode(const std::string& bytes, PeSignature* sig) {
    CmsSignedData data;
    if (!ReadSignedData(bytes, sig->pkcs7.begin, sig->pkcs7.end, &data) || !data.contentType.Holds(kIndirectData) ||
        !data.hasContent) {
        return false;
    }
    return ReadIndirectData(data.content, sig) && ReadTimeStamp(data.signer, &sig->carriesTimeStamp);
}

PeSignature Malformed(const char* problem) {
    PeSignature sig;
    sig.kind = PeSignature::kMalformed;
    sig.problem = problem;
    return sig;
}

}  // namespace

PeSignature ReadPeSignature(const std::string& bytes) {
    PeSignature sig;
    PeImage image;
    if (!image.ReadHeaders(ByteView(bytes))) return sig;
    sig.kind = PeSignature::kUnsigned;
    const PeCertificates found = image.Certificates();
    switch (found.kind) {
    case PeCertificates::kNone: return sig;
    case PeCertificates::kOutside: return Malformed("its certificate table lies outside the file");
    case PeCertificates::kCutShort: return Malformed("its certificate table is cut short");
    case PeCertificates::kNotAuthenticode: return Malformed("its certificate table holds no Authenticode signature");
    case PeCertificates::kPresent: break;
    }
    sig.kind = PeSignature::kPresent;
    sig.pkcs7 = {found.pkcs7Begin, found.pkcs7End};
    const size_t checksum = image.ChecksumOffset(), securityEntry = image.DirectoryEntryOffset(kPeCertificateDirectory);
    const size_t table = found.table.address, tableEnd = table + found.table.size;
    sig.hashed = {{0, checksum}, {checksum + 4, securityEntry}, {securityEntry + 8, table}};
    if (tableEnd < bytes.size()) sig.hashed.push_back({tableEnd, bytes.size()});
    if (!ReadAuthenticode(bytes, &sig)) return Malformed("its signature cannot be read (damaged)");
    return sig;
}
