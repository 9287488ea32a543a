// The seal signed by its author: QMX_CHG.SUM.p7s, a detached CMS SignedData
// over QMX_CHG.SUM by RSA with SHA-256, carrying the signer's certificate,
// as "openssl cms -sign -binary -md sha256 -outform DER" writes it. The
// build machine's qmxcheck signs with OpenSSL's libcrypto, from the same
// kinds of key as scripts/sign.sh; QMXCHECK.EXE cannot sign, and says so.
#pragma once

#include <string>

struct SealSignerFiles {
    // PEM, its first certificate the signer's; a PKCS #12 bundle of the key
    // and its certificate when key is empty.
    std::string certificate;
    std::string key;           // PEM
    std::string passwordFile;  // the key's or the bundle's password, on its first line
};

// 1 with the signer's certificate (DER) in certificate when the files hold
// an RSA key of 2048 to 4096 bits and its certificate, the keys the
// installer checks; 0 with why not in problem.
int ReadSealSigner(const SealSignerFiles& files, std::string* certificate, std::string* problem);

// 1 with the DER of a detached signature over seal in signature, checked by
// the installer's own check before it is handed out; 0 with why not.
int SignSeal(const SealSignerFiles& files, const std::string& seal, std::string* signature, std::string* problem);
