#include "check/signature_check.h"

#include "check/package_check.h"
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

namespace {

void Add(PackageReport& report, Severity severity, const std::string& where, const std::string& text) {
    report.findings.push_back({severity, where, text});
}

void AddFindings(PackageReport& report, const std::string& where, bool program, const SignatureInfo& sig) {
    switch (sig.state) {
    case SignatureState::kUnsigned:
        if (program) {
            Add(report, Severity::WARNING, where,
                "not signed: fleets under App Control for Business or AppLocker run only programs their "
                "policy allows by publisher, and block an unsigned installer before it starts; sign it "
                "(make dist with QMX_SIGN_PKCS12) and seal after signing");
        } else {
            Add(report, Severity::NOTE, where,
                "not signed: where App Control allows modules by publisher only, Windows will not load it");
        }
        break;
    case SignatureState::kSigned:
        if (!sig.timestamped) {
            Add(report, Severity::NOTE, where,
                "signed without a time stamp: the signature stops counting when the certificate expires");
        }
        break;
    case SignatureState::kUntrusted:
        Add(report, Severity::WARNING, where,
            "signed by " + sig.subject + ", but not by a chain this machine trusts (" + sig.problem + ")");
        break;
    case SignatureState::kDamaged:
        Add(report, Severity::ERROR, where,
            "signature damaged: " + sig.problem +
                ": the file or its signature changed after signing, and Windows refuses it as tampered "
                "with; sign the original again");
        break;
    case SignatureState::kCannotCheck:
        Add(report, Severity::NOTE, where, "signature not checked: " + sig.problem);
        break;
    case SignatureState::kNotProgram:
        break;
    }
}

}  // namespace

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

void AddSignatureFindings(PackageReport& report) {
    const ModuleProbe program = ProbeModule(report.folder, kProgramName);
    if (program.opened) {
        report.signatures.push_back({kProgramName, CheckSignature(program.path)});
        AddFindings(report, kProgramName, true, report.signatures.back().signature);
    }
    for (const FileReport& file : report.files) {
        if (!file.probe.opened || file.duplicate) continue;
        report.signatures.push_back({file.name, CheckSignature(file.probe.path)});
        AddFindings(report, "[File] " + file.name, false, report.signatures.back().signature);
    }
}
