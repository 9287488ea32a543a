// QMX_CHG.SUM.p7s, the seal's signature: a detached CMS SignedData in DER
// over the bytes of QMX_CHG.SUM, by RSA with SHA-256, carrying its signer's
// certificate, as "openssl cms -sign -binary -md sha256 -outform DER" writes
// it. A signed QMXSET.EXE installs only from a seal its own signer signed,
// checked here with our own DER reader, SHA-256 and RSA, the same on every
// Windows. Free of Win32.
#pragma once

#include <cstddef>
#include <string>

const char kSealSignatureName[] = "QMX_CHG.SUM.p7s";

// A signature larger than this is not one: 64 KiB holds a signer's
// certificate and its chain many times over.
const size_t kMaxSealSignatureSize = 64 * 1024;

enum class SealSignatureState {
    kVerified,       // made over the seal's bytes by the certificate required
    kOtherSigner,    // made by another certificate than the one required
    kDoesNotVerify,  // the signer's, but not over these bytes
    kUnsupported,    // not RSA with SHA-256, or a key of fewer than 2048 or more than 4096 bits
    kUnreadable,     // not a detached SignedData of plain data by one signer, named by issuer
                     // and serial number, whose certificate it carries once
};

struct SealSignature {
    SealSignatureState state = SealSignatureState::kUnreadable;
    std::string signer;  // the signer's certificate (DER) as the signature carries it; "" when unreadable
};

// Checks signature, QMX_CHG.SUM.p7s's bytes, over seal, QMX_CHG.SUM's.
// required: the certificate (DER) that must have made it, or null for
// whichever certificate the signature names. With signed attributes, the
// content type must be plain data and the message digest the seal's
// SHA-256, each said once, and the signature is over the attributes;
// without, over the seal itself.
SealSignature CheckSealSignature(const std::string& signature, const std::string& seal,
                                 const std::string* required);
