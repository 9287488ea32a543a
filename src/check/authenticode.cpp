#include "check/authenticode.h"

#include "engine/version/pe_image.h"

namespace {

// A DER element's contents, walked without ever reading past the end.
struct Der {
    const std::string* bytes;
    size_t at;
    size_t end;

    bool Empty() const { return at >= end; }
    unsigned char Peek() const { return static_cast<unsigned char>((*bytes)[at]); }

    // The next element, when its tag is tag: its contents in body. Only
    // definite lengths, as DER has them, of up to four bytes.
    bool Take(unsigned char tag, Der* body) {
        if (end - at < 2 || Peek() != tag) return false;
        size_t length = static_cast<unsigned char>((*bytes)[at + 1]);
        size_t next = at + 2;
        if (length & 0x80) {
            const size_t count = length & 0x7F;
            if (count == 0 || count > 4 || end - next < count) return false;
            length = 0;
            for (size_t i = 0; i < count; ++i) length = length << 8 | static_cast<unsigned char>((*bytes)[next + i]);
            next += count;
        }
        if (length > end - next) return false;
        *body = Der{bytes, next, next + length};
        at = next + length;
        return true;
    }
    // Takes the next element if it has tag; true when it had.
    bool Skip(unsigned char tag) {
        Der ignored;
        return !Empty() && Peek() == tag && Take(tag, &ignored);
    }
    std::string Text() const { return bytes->substr(at, end - at); }
};

const unsigned char kSequence = 0x30, kSet = 0x31, kOid = 0x06, kInteger = 0x02, kOctets = 0x04,
                    kContext0 = 0xA0, kContext1 = 0xA1;

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

bool TakeOid(Der& in, const char* oid, size_t size) {
    Der body;
    return in.Take(kOid, &body) && body.Text() == std::string(oid, size);
}

// The SpcIndirectDataContent: which digest, and of what value.
bool ReadIndirectData(Der content, PeSignature* sig) {
    Der indirect, data, digestInfo, algorithm, oid, digest;
    if (!content.Take(kSequence, &indirect)) return false;
    sig->content = {indirect.at, indirect.end};
    if (!indirect.Take(kSequence, &data) || !indirect.Take(kSequence, &digestInfo)) return false;
    if (!digestInfo.Take(kSequence, &algorithm) || !algorithm.Take(kOid, &oid)) return false;
    if (!digestInfo.Take(kOctets, &digest)) return false;
    const std::string text = oid.Text();
    for (const DigestOid& d : kDigests) {
        if (text == std::string(d.oid, d.size)) sig->digestName = d.name;
    }
    sig->digest = digest.Text();
    return true;
}

// Whether the first signer's unsigned attributes hold a time stamp.
bool ReadTimeStamp(Der signerInfos, bool* timestamped) {
    Der signer;
    if (!signerInfos.Take(kSequence, &signer)) return false;
    if (!signer.Skip(kInteger) || !signer.Skip(kSequence) || !signer.Skip(kSequence)) return false;
    signer.Skip(kContext0);  // the signed attributes
    if (!signer.Skip(kSequence) || !signer.Skip(kOctets)) return false;
    Der unsigned_;
    if (signer.Empty()) return true;
    if (!signer.Take(kContext1, &unsigned_)) return false;
    while (!unsigned_.Empty()) {
        Der attribute;
        if (!unsigned_.Take(kSequence, &attribute)) return false;
        Der probe = attribute;
        if (TakeOid(probe, kCounterSignature, sizeof kCounterSignature - 1) ||
            TakeOid(attribute, kRfc3161TimeStamp, sizeof kRfc3161TimeStamp - 1)) {
            *timestamped = true;
        }
    }
    return true;
}

bool ReadSignedData(const std::string& bytes, PeSignature* sig) {
    Der whole{&bytes, sig->pkcs7.begin, sig->pkcs7.end}, info, signedData, body, contentInfo, content,
        signerInfos;
    if (!whole.Take(kSequence, &info) || !TakeOid(info, kSignedData, sizeof kSignedData - 1)) return false;
    if (!info.Take(kContext0, &signedData) || !signedData.Take(kSequence, &body)) return false;
    if (!body.Skip(kInteger) || !body.Skip(kSet)) return false;
    if (!body.Take(kSequence, &contentInfo) || !TakeOid(contentInfo, kIndirectData, sizeof kIndirectData - 1)) {
        return false;
    }
    if (!contentInfo.Take(kContext0, &content) || !ReadIndirectData(content, sig)) return false;
    body.Skip(kContext0);  // certificates
    body.Skip(kContext1);  // revocation lists
    return body.Take(kSet, &signerInfos) && ReadTimeStamp(signerInfos, &sig->timestamped);
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
