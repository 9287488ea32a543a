// The Authenticode signature of a package's program or module, judged file
// by file; the package check asks it for QMXSET.EXE and every listed module,
// and makes its findings of the answers itself. On the build machine
// OpenSSL's libcrypto checks each signature against the file (the digest and
// the signer's signature by the certificate the signature carries, not the
// chain: which roots count is the fleet's policy); on Windows the system's
// WinVerifyTrust does, loaded at run time, and checks the chain against the
// machine's roots too. A time stamp counts only when its digest of the
// signature it stamps, and its authority's signature over that, verify.
#pragma once

#include <cstdint>
#include <string>

#include "check/authenticode.h"

enum class SignatureState {
    kNotProgram,   // no PE image, so no signature possible
    kUnsigned,
    kSigned,       // the file is as it was signed (and where chainChecked, trusted)
    kUntrusted,    // Windows: intact, but not by a chain this machine trusts
    kDistrusted,   // Windows: intact, but its certificate is one this machine explicitly distrusts
    kRevoked,      // Windows: intact, but its certificate is revoked, as far as this machine knows
    kDamaged,      // the file changed after signing, or the signature is broken
    kCannotCheck,  // this side cannot tell (no WinVerifyTrust, an unknown algorithm)
};

enum class TimeStampState {
    kNone,           // the signature carries no time stamp
    kVerified,       // its digest is of the signer's signature, and its authority signed it
    kDoesNotVerify,  // it is there, but stamps another signature or its authority's signature fails
    kNotChecked,     // it is there, and this side cannot tell (an unknown algorithm, an older Windows)
};

struct SignatureInfo {
    SignatureState state = SignatureState::kCannotCheck;
    std::string subject;  // the signer's certificate subject, "CN=..., O=..."; "" when unknown
    // Whether the signer's certificate was judged by a chain to this
    // machine's trusted roots: on Windows for every state WinVerifyTrust
    // reached the chain in (kSigned, kUntrusted, kDistrusted, kRevoked);
    // never on the build machine, which checks the signature by the
    // certificate it carries alone.
    bool chainChecked = false;
    TimeStampState timeStamp = TimeStampState::kNone;
    std::string timeStampProblem;  // kDoesNotVerify, kNotChecked: why, for a person
    std::string problem;  // kUntrusted, kDistrusted, kRevoked, kDamaged, kCannotCheck: why, for a person
};

// Whether the state says the file is as it was signed, whoever signed it.
bool SignatureIntact(SignatureState state);

// The signature of the file at path.
SignatureInfo CheckSignature(const std::string& path);

// The subject of certificate (DER), "CN=..., O=...", as the signatures'
// subjects are written; "" when it cannot be read.
std::string CertificateSubject(const std::string& certificate);

// "signed", "unsigned", "damaged", "untrusted", "distrusted", "revoked",
// "not a program", "cannot check".
const char* SignatureStateName(SignatureState state);

// Each side's own part of CheckSignature: the verdict on the signature sig,
// present in bytes, the contents of the file at path.
SignatureInfo VerifySignature(const std::string& path, const std::string& bytes, const PeSignature& sig);
// A result of state alone.
SignatureInfo SignatureOf(SignatureState state, const std::string& problem = std::string());

// A WinVerifyTrust result or error code as its texts write it: "0x800B0109".
std::string TrustCodeText(uint32_t code);
// The state WinVerifyTrust's result means, with why into problem for every
// state but kSigned, and whether it reached the chain into chainChecked.
// Free of <windows.h>, so that the build machine tests it too.
SignatureState TrustVerdict(long result, std::string* problem, bool* chainChecked);
