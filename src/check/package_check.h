// The package author's check: what the installer will make of a package
// folder, read with the installer's own change-list reader, pattern matching
// and version reading, and the mistakes it would only show at run time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/module_probe.h"
#include "check/seal_signing.h"
#include "check/signature_check.h"
#include "engine/local/program_signer.h"

enum class Severity { NOTE, WARNING, ERROR };

struct Finding {
    Severity severity;
    std::string where;  // "[Install]", "[File] NAME", "[Log]", "QMX_CHG.DAT"
    std::string text;
};

struct PatternReport {
    std::string pattern;
    std::vector<std::string> matches;  // names from KnownWindows()
};

struct FileReport {
    std::string name;     // as the reader hands it out: trimmed, upper-cased
    bool plain = false;   // a bare file name the installer accepts
    bool duplicate = false;
    ModuleProbe probe;    // in the package folder
    std::string stagingName;
    bool stageable = false;
};

struct SignedFile {
    std::string name;  // QMXSET.EXE or a [File] entry
    SignatureInfo signature;
};

// QMX_CHG.SUM.p7s, the seal's signature, as the installer would judge it.
struct SealSignatureReport {
    enum State {
        kNoSeal,       // no QMX_CHG.SUM read
        kUnsigned,     // no QMX_CHG.SUM.p7s
        kSigned,       // by QMXSET.EXE's signer; by its own signer beside an unsigned QMXSET.EXE
        kOtherSigner,  // by another certificate than QMXSET.EXE's signer
        kDamaged,      // its signer's, but not over QMX_CHG.SUM as it is
        kUnsupported,  // not RSA with SHA-256 by a key of 2048 to 4096 bits
        kUnreadable,   // not a signature the installer reads
    };
    State state = kNoSeal;
    std::string subject;  // the seal's signer's, when the signature names one
    // QMXSET.EXE's signing: a signed QMXSET.EXE installs only from a seal
    // its signer signed.
    ProgramSigner::State program = ProgramSigner::kUnsigned;
};

// "signed", "unsigned", "other signer", "damaged", "unsupported",
// "unreadable", "no seal".
const char* SealSignatureStateName(SealSignatureReport::State state);

struct PackageReport {
    std::string folder;
    bool changeListRead = false;
    bool hasInstall = false;
    std::vector<PatternReport> patterns;
    std::vector<FileReport> files;
    // QMXSET.EXE in the package folder, read as a module is: which of the
    // two programs ships, and so which modules it can install.
    bool hasProgram = false;
    ModuleMachine programMachine;
    bool logOn = false;
    std::vector<SignedFile> signatures;  // QMXSET.EXE when present, then each module found
    SealSignatureReport sealSignature;
    std::vector<Finding> findings;
};

// The encoding a change list was saved in, judged from its first bytes, when
// it is one the installer cannot read: "UTF-8 with a byte-order mark",
// "UTF-16 little-endian", "UTF-16 big-endian" (by their byte-order marks) or
// "UTF-16" (no mark, but every other byte NUL); "" for ANSI text.
std::string ForeignEncoding(const std::string& start);

// Checks the package in folder (the folder QMXSET.EXE would run from).
PackageReport CheckPackage(const std::string& folder);

// Writes or rewrites the seal of the package in folder (WriteSeal), over
// the [File] modules it holds under plain names. 1 with the seal's text in
// text; 0 with what went wrong in problem.
int SealPackage(const std::string& folder, std::string* text, std::string* problem);

// qmxcheck --seal PACKAGE_DIR [--signer ...]: SealPackage, signed by signer
// when it names a certificate (QMX_CHG.SUM.p7s; without one, a signature
// left from an earlier seal is removed), then the seal on standard output.
// The exit status: 0 when written; 2, and why on standard error, when not,
// or when the package's QMXSET.EXE would refuse it (signed, and the seal
// is not signed by its signer).
int RunSealCommand(const std::string& folder, const SealSignerFiles& signer);

// 0 when the package is clean, 1 for warnings only, 2 for any error.
int CheckExitStatus(const PackageReport& report);
