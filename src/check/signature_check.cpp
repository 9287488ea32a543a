#include "check/signature_check.h"

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

const char* SignatureStateName(SignatureState state) {
    switch (state) {
    case SignatureState::kNotProgram: return "not a program";
    case SignatureState::kUnsigned: return "unsigned";
    case SignatureState::kSigned: return "signed";
    case SignatureState::kUntrusted: return "untrusted";
    case SignatureState::kDamaged: return "damaged";
    default: return "cannot check";
    }
}
