// CMS SignedData (RFC 5652, and PKCS #7 1.5 as Authenticode has it), read
// from DER for what a signature check needs: the content's type and value,
// the certificates and the first signer. Everything is handed out as
// readers over the bytes, each within its parent's (DerReader's bounds),
// and read further only when asked. Free of Win32.
#pragma once

#include <cstddef>
#include <string>

#include "engine/seal/der_reader.h"

// The object identifiers the checks compare, as their DER contents.
const char kOidData[] = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01";    // 1.2.840.113549.1.7.1, plain content
const char kOidSha256[] = "\x60\x86\x48\x01\x65\x03\x04\x02\x01";  // 2.16.840.1.101.3.4.2.1

struct CmsSigner {
    DerReader sid;                 // the SignerIdentifier's contents
    bool sidIsIssuerAndSerial = false;  // else a [0] subject key identifier
    DerReader digestAlgorithm;     // the object identifier's contents
    bool hasSignedAttributes = false;
    ByteRange signedAttributes = {0, 0};  // the [0] element, whole
    DerReader signatureAlgorithm;
    DerReader signature;           // the OCTET STRING's contents
    DerReader unsignedAttributes;  // the [1] element's contents
};

struct CmsSignedData {
    size_t end = 0;              // where the ContentInfo ends
    DerReader contentType;       // the object identifier's contents
    bool hasContent = false;
    DerReader content;           // the [0] element's contents: the content, whole
    DerReader certificates;      // the [0] set's contents
    CmsSigner signer;            // the first
    size_t signers = 0;
};

// The ContentInfo at the start of bytes[begin, end), a SignedData with at
// least one signer: true with its parts in data; false when it is not one.
// Bytes may follow it.
bool ReadSignedData(const std::string& bytes, size_t begin, size_t end, CmsSignedData* data);

// The parts of an X.509 certificate the checks read, each whole.
struct CertificateParts {
    DerReader serial, issuer, subject, publicKey;
};

// The certificate in certificate (an element, whole): true with its parts.
bool ReadCertificate(DerReader certificate, CertificateParts* parts);

// The certificate of data that its first signer names by issuer and serial
// number: true with it, whole, in certificate; false when no certificate or
// more than one has them, or the signer names its certificate another way.
bool FindSignerCertificate(const CmsSignedData& data, ByteRange* certificate);
