#include "check/check_report.h"

#include <cstdio>

#include "check/json_text.h"
#include "check/message_texts.h"
#include "engine/seal/seal_file.h"
#include "check/windows_versions.h"
#include "platform/text_case.h"

namespace {

const char* SeverityName(Severity severity) {
    switch (severity) {
    case Severity::ERROR: return "error";
    case Severity::WARNING: return "warning";
    default: return "note";
    }
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

std::string VersionLine(const ModuleVersion& v) {
    std::string line = v.hasText ? "FileVersion \"" + v.text + "\"" : "no FileVersion text";
    if (v.hasNumbers) {
        line += ", numeric " + NumericVersionText(v);
    } else {
        line += ", no numeric version";
    }
    return line;
}

// Texts from the package (names, patterns, version texts, and findings and
// reasons that quote them) are in the package's code page; our own texts
// are UTF-8 already.
std::string Json(const std::string& text) { return JsonString(text, PackageEncoding()); }
std::string OwnJson(const std::string& text) { return JsonString(text, Utf8Encoding()); }

std::string JsonBool(bool value) { return value ? "true" : "false"; }

// ", time-stamped", ", no time stamp", ", time stamp not verified (why)".
std::string TimeStampText(const SignatureInfo& sig) {
    switch (sig.timeStamp) {
    case TimeStampState::kVerified: return ", time-stamped";
    case TimeStampState::kNone: return ", no time stamp";
    default: return ", time stamp not verified (" + sig.timeStampProblem + ")";
    }
}

// "signed by CN=... (certificate not checked against a trusted root), no
// time stamp", "untrusted (why), by CN=..., time-stamped", "damaged (why),
// by CN=...". What was not checked is said where it was not, so that the
// build machine's report reads for what it is.
std::string SignatureLine(const SignatureInfo& sig) {
    const bool signedOk = sig.state == SignatureState::kSigned;
    std::string line = signedOk ? "signed" : SignatureStateName(sig.state);
    if (!sig.problem.empty()) line += " (" + sig.problem + ")";
    if (!sig.subject.empty()) line += std::string(signedOk ? "" : ",") + " by " + sig.subject;
    if (signedOk && !sig.chainChecked) line += " (certificate not checked against a trusted root)";
    if (SignatureIntact(sig.state)) line += TimeStampText(sig);
    return line;
}

std::string JsonSignatures(const PackageReport& report) {
    std::string out = ", \"signatures\": [";
    for (size_t i = 0; i < report.signatures.size(); ++i) {
        const SignatureInfo& sig = report.signatures[i].signature;
        out += std::string(i ? ", " : "") + "{\"name\": " + Json(report.signatures[i].name) +
               ", \"state\": " + OwnJson(SignatureStateName(sig.state)) + ", \"subject\": " +
               (sig.subject.empty() ? std::string("null") : JsonString(sig.subject, LocalEncoding())) +
               ", \"chainChecked\": " + JsonBool(sig.chainChecked) +
               ", \"timestamp\": " + JsonBool(sig.timeStamp == TimeStampState::kVerified) +
               ", \"timestampProblem\": " +
               (sig.timeStampProblem.empty() ? std::string("null") : OwnJson(sig.timeStampProblem)) +
               ", \"problem\": " + (sig.problem.empty() ? std::string("null") : OwnJson(sig.problem)) + "}";
    }
    return out + "]";
}

// "signed by CN=..., the signer of QMXSET.EXE", "not signed", ...
std::string SealSignatureLine(const SealSignatureReport& seal) {
    const bool programSigned = seal.program != ProgramSigner::kUnsigned;
    switch (seal.state) {
    case SealSignatureReport::kSigned:
        return "signed by " + seal.subject +
               (programSigned ? ", the signer of QMXSET.EXE" : " (QMXSET.EXE is not signed: not checked)");
    case SealSignatureReport::kOtherSigner: return "signed by " + seal.subject + ", not by the signer of QMXSET.EXE";
    case SealSignatureReport::kUnsigned: return "not signed";
    default: return SealSignatureStateName(seal.state);
    }
}

std::string JsonSealSignature(const SealSignatureReport& seal) {
    return ", \"sealSignature\": {\"state\": " + OwnJson(SealSignatureStateName(seal.state)) + ", \"subject\": " +
           (seal.subject.empty() ? std::string("null") : JsonString(seal.subject, LocalEncoding())) +
           ", \"required\": " + JsonBool(seal.program != ProgramSigner::kUnsigned) + "}";
}

// "machine i386, the 32-bit program": which of the two programs ships.
std::string ProgramLine(const ModuleMachine& machine) {
    std::string line = "machine " + MachineName(machine);
    if (machine.kind != ModuleMachine::kMachine) return line;
    if (machine.machine == kMachineI386) return line + ", the 32-bit program";
    if (machine.machine == kMachineX64 || machine.machine == kMachineArm64) return line + ", the 64-bit program";
    return line;
}

// The what-if's part of the text report: the run predicted on one Windows.
std::string WhatIfText(const WhatIfResult& whatIf, const WindowsVersion& windows) {
    std::string out;
    out += "\nWhat if: " + std::string(windows.fullName) + " (platform " +
           std::to_string(windows.platformId) + ", " + std::to_string(windows.majorVersion) + "." +
           std::to_string(windows.minorVersion) + "), run as an administrator\n";
    if (!whatIf.targeted) out += "  the change list does not target this Windows version\n";
    if (!whatIf.sealFault.empty()) {
        out += "  the seal check fails, and nothing is installed: " + whatIf.sealFault + "\n";
    }
    for (const MachineMisfit& m : whatIf.otherMachine) {
        out += "  " + m.name + " is not for this machine (" + (whatIf.undo ? "the kept copy " : "the package's ") +
               MachineName(m.incoming) + ", the system's " + MachineName(m.installedMachine) +
               "), and nothing is installed: PrepareInstallation - Not for this machine: " + m.installed + ".\n";
    }
    for (const ModuleDecision& m : whatIf.modules) {
        out += "  " + m.name + ": " + DecisionText(m.action, whatIf.undo) + " (" + m.reason + ")\n";
    }
    out += "  outcome " + Hex(whatIf.outcome) + "\n";
    out += "  message: \"" + std::string(MessageText(whatIf.message, QMX_LANG_ENGLISH)) + "\"\n";
    out += "  Japanese: \"" + std::string(MessageText(whatIf.message, QMX_LANG_JAPANESE)) + "\"\n";
    out += "  /quiet exit code: " + std::to_string(whatIf.quietExitCode) + "\n";
    return out;
}

}  // namespace

std::string TextReport(const PackageReport& report, const WhatIfResult* whatIf,
                       const WindowsVersion* windows) {
    std::string out = "Package: " + report.folder + " (names read in code page " +
                      std::to_string(AnsiCodePage()) + ")\n";
    if (report.changeListRead) {
        out += "\n[Install]\n";
        for (const PatternReport& p : report.patterns) {
            out += "  \"" + p.pattern + "\": ";
            if (p.matches.empty()) out += "no Windows version";
            for (size_t i = 0; i < p.matches.size(); ++i) {
                const WindowsVersion* w = FindWindows(p.matches[i]);
                out += (i ? ", " : "") + std::string(w->fullName) + " (" + std::to_string(w->platformId) +
                       ":" + std::to_string(w->majorVersion) + ":" + std::to_string(w->minorVersion) + ")";
            }
            out += "\n";
        }
        out += "\n[File]\n";
        for (const FileReport& f : report.files) {
            out += "  " + f.name + ": ";
            if (!f.plain) {
                out += "not a plain file name\n";
                continue;
            }
            out += f.probe.opened
                       ? "present, machine " + MachineName(f.probe.machine) + ", " + VersionLine(f.probe.version)
                       : std::string("missing");
            out += f.stageable ? ", staged as " + f.stagingName : std::string(", cannot be staged");
            out += f.duplicate ? ", listed again\n" : "\n";
        }
        if (report.hasProgram) {
            out += "\n" + std::string(kProgramName) + ": " + ProgramLine(report.programMachine) + "\n";
        }
        out += "\n[Log]\n  " + std::string(report.logOn ? "ON" : "off") + "\n";
        const SealSignatureReport& seal = report.sealSignature;
        const bool sealLine = seal.state != SealSignatureReport::kNoSeal;
        if (!report.signatures.empty() || sealLine) out += "\nSignatures:\n";
        for (const SignedFile& s : report.signatures) out += "  " + s.name + ": " + SignatureLine(s.signature) + "\n";
        if (sealLine) out += "  " + std::string(kSealFileName) + ": " + SealSignatureLine(seal) + "\n";
    }
    out += "\nFindings:\n";
    if (report.findings.empty()) out += "  none\n";
    for (const Finding& f : report.findings) {
        out += "  " + std::string(SeverityName(f.severity)) + ": " + f.where + ": " + f.text + "\n";
    }
    if (whatIf != nullptr && windows != nullptr) out += WhatIfText(*whatIf, *windows);
    return out;
}

std::string JsonReport(const PackageReport& report, const WhatIfResult* whatIf,
                       const WindowsVersion* windows) {
    std::string out = "{\"package\": " + JsonString(report.folder, LocalEncoding()) +
                      ", \"codePage\": " + std::to_string(AnsiCodePage()) +
                      ", \"changeListRead\": " + JsonBool(report.changeListRead) + ", \"install\": [";
    for (size_t i = 0; i < report.patterns.size(); ++i) {
        const PatternReport& p = report.patterns[i];
        out += std::string(i ? ", " : "") + "{\"pattern\": " + Json(p.pattern) + ", \"matches\": [";
        for (size_t j = 0; j < p.matches.size(); ++j) out += (j ? ", " : "") + OwnJson(p.matches[j]);
        out += "]}";
    }
    out += "], \"programMachine\": " +
           (report.hasProgram ? OwnJson(MachineName(report.programMachine)) : std::string("null")) + ", \"files\": [";
    for (size_t i = 0; i < report.files.size(); ++i) {
        const FileReport& f = report.files[i];
        const ModuleVersion& v = f.probe.version;
        out += std::string(i ? ", " : "") + "{\"name\": " + Json(f.name) + ", \"plain\": " + JsonBool(f.plain) +
               ", \"present\": " + JsonBool(f.probe.opened) + ", \"duplicate\": " + JsonBool(f.duplicate) +
               ", \"fileVersion\": " + (v.hasText ? Json(v.text) : "null") + ", \"numericVersion\": ";
        out += v.hasNumbers ? Json(NumericVersionText(v)) : "null";
        out += ", \"machine\": " + (f.probe.opened ? OwnJson(MachineName(f.probe.machine)) : std::string("null"));
        out += ", \"stagingName\": " + (f.stageable ? Json(f.stagingName) : std::string("null")) + "}";
    }
    out += "], \"logOn\": " + JsonBool(report.logOn) + JsonSignatures(report) +
           JsonSealSignature(report.sealSignature) + ", \"findings\": [";
    for (size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& f = report.findings[i];
        out += std::string(i ? ", " : "") + "{\"severity\": " + OwnJson(SeverityName(f.severity)) +
               ", \"where\": " + Json(f.where) + ", \"text\": " + Json(f.text) + "}";
    }
    out += "], \"status\": " + std::to_string(CheckExitStatus(report));
    if (whatIf != nullptr && windows != nullptr) {
        out += ", \"whatIf\": {\"windows\": " + OwnJson(windows->name) +
               ", \"targeted\": " + JsonBool(whatIf->targeted) + ", \"sealFault\": " +
               (whatIf->sealFault.empty() ? std::string("null") : Json(whatIf->sealFault)) + ", \"otherMachine\": [";
        for (size_t i = 0; i < whatIf->otherMachine.size(); ++i) {
            const MachineMisfit& m = whatIf->otherMachine[i];
            out += std::string(i ? ", " : "") + "{\"name\": " + Json(m.name) + ", \"machine\": " +
                   OwnJson(MachineName(m.incoming)) + ", \"installedMachine\": " +
                   OwnJson(MachineName(m.installedMachine)) + "}";
        }
        out += "], \"modules\": [";
        for (size_t i = 0; i < whatIf->modules.size(); ++i) {
            const ModuleDecision& m = whatIf->modules[i];
            out += std::string(i ? ", " : "") + "{\"name\": " + Json(m.name) +
                   ", \"decision\": " + OwnJson(DecisionText(m.action, whatIf->undo)) + ", \"bit\": " + std::to_string(m.bit) +
                   ", \"reason\": " + Json(m.reason) + "}";
        }
        out += "], \"outcome\": " + std::to_string(whatIf->outcome) +
               ", \"message\": " + OwnJson(MessageText(whatIf->message, QMX_LANG_ENGLISH)) +
               ", \"messageJapanese\": " + OwnJson(MessageText(whatIf->message, QMX_LANG_JAPANESE)) +
               ", \"quietExitCode\": " + std::to_string(whatIf->quietExitCode) + "}";
    }
    return out + "}\n";
}
