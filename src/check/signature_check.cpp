#include "check/signature_check.h"

#include <cstdint>
#include <cstdio>

#include "check/whole_file.h"

SignatureInfo SignatureOf(SignatureState state, const std::string& problem) {
    SignatureInfo info;
    info.state = state;
    info.problem = problem;
    return info;
}

namespace {

// The state of a file whose signature, as ReadPeSignature found it, is not
// there to check: not a program, unsigned, or unreadable (damaged).
SignatureInfo WithoutSignature(const PeSignature& sig) {
    switch (sig.kind) {
    case PeSignature::kNotProgram: return SignatureOf(SignatureState::kNotProgram);
    case PeSignature::kUnsigned: return SignatureOf(SignatureState::kUnsigned);
    default: return SignatureOf(SignatureState::kDamaged, sig.problem);
    }
}

}  // namespace

SignatureInfo CheckSignature(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) return SignatureOf(SignatureState::kCannotCheck, "the file cannot be read");
    // Whether there is a signature at all is read from the file, the same
    // way on every side: WinVerifyTrust's answer for a file without one
    // differs between versions of Windows.
    const PeSignature sig = ReadPeSignature(bytes);
    if (sig.kind != PeSignature::kPresent) return WithoutSignature(sig);
    return VerifySignature(path, bytes, sig);
}

bool SignatureIntact(SignatureState state) {
    switch (state) {
    case SignatureState::kSigned:
    case SignatureState::kUntrusted:
    case SignatureState::kDistrusted:
    case SignatureState::kRevoked: return true;
    default: return false;
    }
}

std::string TrustCodeText(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// Chain and certificate errors (CERT_E_*, facility 0x0B, 0x800B01xx) leave
// the file intact; a wrong digest or an unreadable signature does not.
SignatureState TrustVerdict(long result, std::string* problem, bool* chainChecked) {
    const uint32_t code = static_cast<uint32_t>(result);
    const uint32_t kBadDigest = 0x80096010, kNoSignature = 0x800B0100, kNotTrusted = 0x800B0004,
                   kBadAlgorithm = 0x80090008, kUnknownAlgorithm = 0x80091002, kUnknownProvider = 0x800B0001,
                   kUnknownAction = 0x800B0002, kSecuritySettings = 0x80092026, kRevoked = 0x800B010C,
                   kExplicitDistrust = 0x800B0111;
    *chainChecked = false;
    problem->clear();
    if (code == 0) {
        *chainChecked = true;
        return SignatureState::kSigned;
    }
    if (code == kBadDigest) {
        *problem = "the file's digest no longer matches the one signed (" + TrustCodeText(code) + ")";
        return SignatureState::kDamaged;
    }
    if (code == kBadAlgorithm || code == kUnknownAlgorithm) {
        *problem = "this Windows cannot check its digest algorithm (" + TrustCodeText(code) + ")";
        return SignatureState::kCannotCheck;
    }
    if (code == kUnknownProvider || code == kUnknownAction) {
        *problem = "this Windows has no Authenticode provider (" + TrustCodeText(code) + ")";
        return SignatureState::kCannotCheck;
    }
    // Refused by name, not merely unknown: no fleet's roots make these
    // right, so they are errors where an unknown root is a warning.
    if (code == kExplicitDistrust) {
        *chainChecked = true;
        *problem = "WinVerifyTrust " + TrustCodeText(code) + ": this machine explicitly distrusts its certificate";
        return SignatureState::kDistrusted;
    }
    if (code == kRevoked) {
        *chainChecked = true;
        *problem = "WinVerifyTrust " + TrustCodeText(code) + ": its certificate is revoked";
        return SignatureState::kRevoked;
    }
    // Not trusted by this machine's roots or settings, as with a root it lacks.
    if (((code & 0xFFFFFF00u) == 0x800B0100u && code != kNoSignature) || code == kNotTrusted ||
        code == kSecuritySettings) {
        *chainChecked = true;
        *problem = "WinVerifyTrust " + TrustCodeText(code);
        return SignatureState::kUntrusted;
    }
    *problem = "WinVerifyTrust refuses it (" + TrustCodeText(code) + ")";
    return SignatureState::kDamaged;
}

const char* SignatureStateName(SignatureState state) {
    switch (state) {
    case SignatureState::kNotProgram: return "not a program";
    case SignatureState::kUnsigned: return "unsigned";
    case SignatureState::kSigned: return "signed";
    case SignatureState::kUntrusted: return "untrusted";
    case SignatureState::kDistrusted: return "distrusted";
    case SignatureState::kRevoked: return "revoked";
    case SignatureState::kDamaged: return "damaged";
    default: return "cannot check";
    }
}
