#include "engine/local/program_signer.h"

#include "engine/seal/signed_data.h"

ProgramSigner SignerOfProgram(const std::string& bytes) {
    ProgramSigner signer;
    PeImage image;
    if (!image.ReadHeaders(ByteView(bytes))) return signer;
    const PeCertificates found = image.Certificates();
    signer.table = found.table;
    if (found.kind == PeCertificates::kNone) return signer;
    signer.state = ProgramSigner::kUnreadable;
    CmsSignedData data;
    ByteRange certificate = {0, 0};
    // Nested signatures ride in the first signer's unsigned attributes;
    // Windows checks the first signer, and so the certificate is its.
    if (found.kind != PeCertificates::kPresent ||
        !ReadSignedData(bytes, found.pkcs7Begin, found.pkcs7End, &data) ||
        !FindSignerCertificate(data, &certificate)) {
        return signer;
    }
    signer.state = ProgramSigner::kSigned;
    signer.certificate = BytesOf(bytes, certificate);
    return signer;
}
