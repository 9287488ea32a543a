// Where a program keeps its Authenticode signature and what the signature
// says it signed, read from the file's bytes. The bytes are the package's,
// so anyone may have made them: every offset and length is checked against
// what is there before it is used. Free of Win32 and of any crypto library;
// checking the signature is each side's job (signature_check).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/seal/der_reader.h"

struct PeSignature {
    enum Kind {
        kNotProgram,  // no PE image: nothing there can carry a signature
        kUnsigned,    // a PE image with no certificate table
        kMalformed,   // a certificate table that is not a readable signature
        kPresent,
    };
    Kind kind = kNotProgram;
    std::string problem;  // kMalformed: what is wrong, for a person

    // kPresent only. The bytes the Authenticode digest covers: all but the
    // checksum, the certificate table's directory entry and the table.
    std::vector<ByteRange> hashed;
    ByteRange pkcs7 = {0, 0};    // the PKCS #7 SignedData
    ByteRange content = {0, 0};  // the signed content's value, which the signer's digest covers
    std::string digestName;      // "SHA256", "SHA1", ...; "" for an algorithm not known here
    std::string digest;          // the file's digest as the signature holds it
    // A counter-signature or an RFC 3161 time stamp is there; whether it
    // stamps this signature is each side's to check.
    bool carriesTimeStamp = false;
};

PeSignature ReadPeSignature(const std::string& bytes);
