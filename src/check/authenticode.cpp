#include "check/authenticode.h"

#include "engine/seal/der_reader.h"
#include "engine/version/pe_image.h"

namespace {

// Object identifiers, as their DER contents.
const char kSignedData[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";             // 1.2.840.113549.1.7.2
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
bool ReadTimeStamp(DerReader signerInfos, bool* timestamped) {
    DerReader signer;
    if (!signerInfos.Take(kDerSequence, &signer)) return false;
    if (!signer.Skip(kDerInteger) || !signer.Skip(kDerSequence) || !signer.Skip(kDerSequence)) return false;
    signer.Skip(kDerContext0);  // the signed attributes
    if (!signer.Skip(kDerSequence) || !signer.Skip(kDerOctets)) return false;
    DerReader unsigned_;
    if (signer.Empty()) return true;
    if (!signer.Take(kDerContext1, &unsigned_)) return false;
    while (!unsigned_.Empty()) {
        DerReader attribute;
        if (!unsigned_.Take(kDerSequence, &attribute)) return false;
        DerReader probe = attribute;
        if (probe.TakeOid(kCounterSignature) || attribute.TakeOid(kRfc3161TimeStamp)) *timestamped = true;
    }
    return true;
}

bool ReadSignedData(const std::string& bytes, PeSignature* sig) {
    DerReader whole(bytes, sig->pkcs7.begin, sig->pkcs7.end), info, signedData, body, contentInfo, content,
        signerInfos;
    if (!whole.Take(kDerSequence, &info) || !info.TakeOid(kSignedData)) return false;
    if (!info.Take(kDerContext0, &signedData) || !signedData.Take(kDerSequence, &body)) return false;
    if (!body.Skip(kDerInteger) || !body.Skip(kDerSet)) return false;
    if (!body.Take(kDerSequence, &contentInfo) || !contentInfo.TakeOid(kIndirectData)) return false;
    if (!contentInfo.Take(kDerContext0, &content) || !ReadIndirectData(content, sig)) return false;
    body.Skip(kDerContext0);  // certificates
    body.Skip(kDerContext1);  // revocation lists
    return body.Take(kDerSet, &signerInfos) && ReadTimeStamp(signerInfos, &sig->timestamped);
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
    const ByteView view(bytes);
    PeImage image;
    if (!image.ReadHeaders(view)) return sig;
    sig.kind = PeSignature::kUnsigned;
    PeDirectory entry = {};
    // No room for the entry, or fewer directories than it.
    if (!image.DeclaresDirectory(kPeCertificateDirectory) || !image.Directory(kPeCertificateDirectory, &entry)) {
        return sig;
    }
    const size_t size = bytes.size(), securityEntry = image.DirectoryEntryOffset(kPeCertificateDirectory);
    const size_t table = entry.address, tableSize = entry.size;
    if (table == 0 && tableSize == 0) return sig;
    if (table < securityEntry + 8 || table > size || tableSize > size - table) {
        return Malformed("its certificate table lies outside the file");
    }
    // The first WIN_CERTIFICATE: its length, revision 2.0, PKCS #7 type.
    const size_t length = view.Dword(table);
    if (tableSize < 8 || length < 8 || length > tableSize) return Malformed("its certificate table is cut short");
    if (view.Word(table + 4) != 0x0200 || view.Word(table + 6) != 0x0002) {
        return Malformed("its certificate table holds no Authenticode signature");
    }
    sig.kind = PeSignature::kPresent;
    sig.pkcs7 = {table + 8, table + length};
    const size_t checksum = image.ChecksumOffset();
    sig.hashed = {{0, checksum}, {checksum + 4, securityEntry}, {securityEntry + 8, table}};
    if (table + tableSize < size) sig.hashed.push_back({table + tableSize, size});
    if (!ReadSignedData(bytes, &sig)) return Malformed("its signature cannot be read (damaged)");
    return sig;
}
