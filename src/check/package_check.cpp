#include "check/package_check.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <set>

#include "changelist/change_list_file.h"
#include "check/seal_check.h"
#include "check/whole_file.h"
#include "check/windows_versions.h"
#include "engine/restart/letter_shift.h"
#include "changelist/plain_file_name.h"
#include "engine/seal/seal_signature.h"
#include "engine/version/version_string.h"
#include "platform/ansi_text.h"
#include "platform/text_case.h"

namespace {

void Add(PackageReport& report, Severity severity, const std::string& where, const std::string& text) {
    report.findings.push_back({severity, where, text});
}

// The change list's first bytes as the installer's reader sees them: the
// lines' contents, without their ends.
std::string ChangeListStart(ChangeListFile& changeList) {
    const size_t kEnough = 4096;
    std::string start;
    while (start.size() < kEnough && changeList.ReadLine(start) == 1) {
    }
    return start;
}

void CheckEncoding(PackageReport& report, ChangeListFile& changeList) {
    const std::string encoding = ForeignEncoding(ChangeListStart(changeList));
    if (encoding.empty()) return;
    const bool utf8 = encoding.compare(0, 5, "UTF-8") == 0;
    Add(report, Severity::ERROR, kChangeListName,
        "saved as " + encoding + ": the installer reads ANSI text, " +
            (utf8 ? "so the mark spoils the first line and names beyond ASCII are misread"
                  : "so it finds no section at all") +
            "; save it as ANSI (Shift-JIS for Japanese names)");
}

void CheckInstall(PackageReport& report, const std::string& path) {
    ChangeListFile changeList;
    changeList.SetChangeListPath(path);
    std::vector<std::string> patterns;
    report.hasInstall = changeList.InstallPatterns(patterns, std::string()) == 1;
    if (!report.hasInstall) {
        Add(report, Severity::ERROR, "[Install]",
            "no [Install] entry: the installer installs nothing on any Windows");
        return;
    }
    for (const std::string& pattern : patterns) {
        PatternReport row{pattern, {}};
        for (const WindowsVersion& windows : KnownWindows()) {
            if (changeList.CompVersion(windows.platformId, windows.majorVersion, windows.minorVersion,
                                       pattern) == 1) {
                row.matches.push_back(windows.name);
            }
        }
        if (row.matches.empty()) {
            Add(report, Severity::WARNING, "[Install]",
                "pattern \"" + pattern + "\" matches no Windows version");
        }
        report.patterns.push_back(row);
    }
}

// The installer reports a module only by its FileVersion text; the numeric
// version is what Explorer shows. They should tell the same first three
// numbers, or the author is misled about which copy wins.
void CheckVersion(PackageReport& report, const FileReport& file) {
    const std::string where = "[File] " + file.name;
    const ModuleVersion& v = file.probe.version;
    if (!v.hasText) {
        Add(report, Severity::WARNING, where,
            "no FileVersion text the installer can read: last-write times decide, and an older "
            "build copied later would win");
    }
    if (!v.hasNumbers) {
        Add(report, Severity::WARNING, where, "no numeric file version");
    }
    if (v.hasText && v.hasNumbers) {
        VersionNumbers parsed;
        ParseVersionText(v.text.c_str(), &parsed);
        if (parsed.major != v.numbers[0] || parsed.minor != v.numbers[1] || parsed.third != v.numbers[2]) {
            Add(report, Severity::WARNING, where,
                "FileVersion text \"" + v.text + "\" disagrees with the numeric version " +
                    NumericVersionText(v) + " (the installer compares the text)");
        }
    }
}

void CheckFile(PackageReport& report, FileReport& file, std::set<std::string>& seen) {
    const std::string where = "[File] " + file.name;
    file.duplicate = !seen.insert(file.name).second;
    if (file.duplicate) Add(report, Severity::WARNING, where, "listed more than once");
    file.plain = IsPlainFileName(file.name);
    if (!file.plain) {
        Add(report, Severity::ERROR, where,
            "not a plain file name: the installer refuses it and reports a broken package");
        return;
    }
    file.stagingName = ShiftLastLetterOf(file.name, 0);
    file.stageable = file.stagingName != file.name;
    if (!file.stageable) {
        Add(report, Severity::ERROR, where,
            "its last character is not a letter: it cannot be staged when in use, and that run fails");
    }
    file.probe = ProbeModule(report.folder, file.name);
    if (file.probe.unnamable) {
        Add(report, Severity::ERROR, where,
            "no file can have this name here: it is no text of code page " + std::to_string(AnsiCodePage()) +
                ", the code page the package is checked in (--codepage)");
        return;
    }
    if (!file.probe.opened) {
        Add(report, Severity::ERROR, where,
            "missing from the package: where the system has a copy, the installer reports a broken "
            "package");
        return;
    }
    CheckVersion(report, file);
}

void CheckFiles(PackageReport& report, const std::string& path) {
    ChangeListFile changeList;
    changeList.SetChangeListPath(path);
    std::string entry;
    std::set<std::string> seen;
    for (int found = changeList.FirstFileEntry(entry, std::string()); found == 1;
         found = changeList.NextEntry(entry)) {
        FileReport file;
        file.name = entry;
        CheckFile(report, file, seen);
        report.files.push_back(file);
        entry.clear();
    }
    if (report.files.empty()) {
        Add(report, Severity::ERROR, "[File]", "no module listed: the installer reports a broken package");
    }
}

// A module with native code, of one machine: IL-only images load anywhere,
// and a file that is no PE image is no module at all. An ARM64X image counts
// as ARM64's, the machine its header names: both go into Windows on Arm's
// own System32.
bool HasNativeMachine(const ModuleMachine& machine) {
    return machine.kind == ModuleMachine::kMachine || machine.kind == ModuleMachine::kArm64x;
}

std::string WithArticle(const std::string& machine) { return (machine[0] == '0' ? "a " : "an ") + machine; }

// The modules found, plain and listed once, that have a machine of their own.
std::vector<const FileReport*> NativeModules(const PackageReport& report) {
    std::vector<const FileReport*> modules;
    for (const FileReport& file : report.files) {
        if (file.plain && file.probe.opened && !file.duplicate && HasNativeMachine(file.probe.machine)) {
            modules.push_back(&file);
        }
    }
    return modules;
}

// One run writes into one system folder, whose programs load modules of one
// machine, and the installer installs nothing when one module does not fit
// there: a package of two machines cannot succeed anywhere.
void CheckOneMachine(PackageReport& report, const std::vector<const FileReport*>& modules) {
    struct Group {
        uint16_t machine;
        std::string names;
    };
    std::vector<Group> groups;  // in the order first listed
    for (const FileReport* file : modules) {
        const uint16_t machine = file->probe.machine.machine;
        const auto group =
            std::find_if(groups.begin(), groups.end(), [machine](const Group& g) { return g.machine == machine; });
        if (group == groups.end()) {
            groups.push_back({machine, file->name});
        } else {
            group->names += ", " + file->name;
        }
    }
    if (groups.size() < 2) return;
    std::string list;
    for (const Group& group : groups) {
        list += (list.empty() ? "" : "; ") + MachineName(ModuleMachine{ModuleMachine::kMachine, group.machine}) +
                ": " + group.names;
    }
    Add(report, Severity::ERROR, "[File]",
        "modules of more than one machine (" + list +
            "): the installer writes into one system folder, whose programs load one machine's modules, and "
            "installs nothing when a module does not fit there; build one package per machine, each with its "
            "own QMXSET.EXE");
}

// The 32-bit program installs into SysWOW64 on 64-bit Windows (System32 on
// 32-bit Windows), where i386 modules belong; the 64-bit one (x64, running
// emulated on Windows on Arm) into System32, where x64 modules belong, or
// ARM64 and ARM64X ones on Arm. A program of any other machine, or none,
// says nothing.
void CheckProgramMachine(PackageReport& report, const std::vector<const FileReport*>& modules) {
    if (!report.hasProgram || report.programMachine.kind != ModuleMachine::kMachine) return;
    const uint16_t program = report.programMachine.machine;
    const bool is32 = program == kMachineI386;
    if (!is32 && program != kMachineX64 && program != kMachineArm64) return;
    for (const FileReport* file : modules) {
        const uint16_t machine = file->probe.machine.machine;
        const bool of64 = machine == kMachineX64 || machine == kMachineArm64;
        if (is32 ? machine == kMachineI386 : of64) continue;
        const std::string name = MachineName(file->probe.machine);
        std::string text = WithArticle(name) + " module, but QMXSET.EXE is the ";
        if (is32) {
            text += "32-bit program, which installs into SysWOW64 on 64-bit Windows, the folder of 32-bit "
                    "programs' modules: ";
            text += of64 ? "ship the 64-bit QMXSET.EXE with " + name + " modules, or i386 modules with this one"
                         : "ship i386 modules with it";
        } else {
            text += "64-bit program, which installs into System32, the folder of 64-bit programs' modules (x64, "
                    "or ARM64 and ARM64X on Windows on Arm): ";
            text += machine == kMachineI386
                        ? "ship the 32-bit QMXSET.EXE with i386 modules, or x64 modules with this one"
                        : "ship x64, ARM64 or ARM64X modules with it";
        }
        Add(report, Severity::ERROR, "[File] " + file->name, text);
    }
}

void CheckMachines(PackageReport& report) {
    const ModuleProbe program = ProbeModule(report.folder, kProgramName);
    report.hasProgram = program.opened;
    report.programMachine = program.machine;
    const std::vector<const FileReport*> modules = NativeModules(report);
    CheckOneMachine(report, modules);
    CheckProgramMachine(report, modules);
}

std::string SealFindingText(const SealCheck& check) {
    switch (check.verdict) {
    case SealVerdict::kDoesNotMatch:
        return check.name + " does not match the seal (changed, unreadable or missing since it was "
                            "sealed): the installer installs nothing";
    case SealVerdict::kNotListed:
        return check.name + " is in the package but not in the seal: the installer installs nothing";
    default:
        return "damaged (a line not as sha256sum writes it, a name that is not a plain file name, or "
               "a name listed twice): the installer installs nothing";
    }
}

SealSignatureReport ReadSealSignature(const std::string& folder, const ProgramSigner& program) {
    SealSignatureReport report;
    report.program = program.state;
    ProbedPackage package(folder);
    std::string seal, signature;
    if (package.ReadSealText(&seal) != SealRead::kRead) return report;
    const SealRead read = package.ReadSealSignature(&signature);
    report.state = read == SealRead::kAbsent ? SealSignatureReport::kUnsigned : SealSignatureReport::kUnreadable;
    if (read != SealRead::kRead) return report;
    const SealSignature checked = CheckSealSignature(signature, seal, program.Publisher());
    report.subject = CertificateSubject(checked.signer);
    switch (checked.state) {
    case SealSignatureState::kVerified: report.state = SealSignatureReport::kSigned; break;
    case SealSignatureState::kOtherSigner: report.state = SealSignatureReport::kOtherSigner; break;
    case SealSignatureState::kDoesNotVerify: report.state = SealSignatureReport::kDamaged; break;
    case SealSignatureState::kUnsupported: report.state = SealSignatureReport::kUnsupported; break;
    case SealSignatureState::kUnreadable: break;
    }
    return report;
}

// What the seal's signature means to the installer: beside a signed
// QMXSET.EXE anything but its signer's signature is an error, as the
// installer installs nothing; beside an unsigned one it is not checked.
void AddSealSignatureFindings(PackageReport& report, const std::string& programSubject) {
    const SealSignatureReport& seal = report.sealSignature;
    const bool required = seal.program != ProgramSigner::kUnsigned;
    const Severity severity = required ? Severity::ERROR : Severity::WARNING;
    const std::string outcome = required ? ": the installer installs nothing" : ": a signed QMXSET.EXE would install nothing";
    if (seal.program == ProgramSigner::kUnreadable) {
        Add(report, Severity::ERROR, kProgramName,
            "its signature names no signer's certificate the installer can read: it installs nothing from any package");
        return;
    }
    switch (seal.state) {
    case SealSignatureReport::kNoSeal: break;
    case SealSignatureReport::kUnsigned:
        if (required) {
            Add(report, Severity::ERROR, kSealSignatureName,
                "missing, and QMXSET.EXE is signed: the installer installs nothing; qmxcheck --seal --signer "
                "signs the seal with the certificate QMXSET.EXE is signed with");
        } else {
            Add(report, Severity::NOTE, kSealSignatureName,
                "missing: the seal is not signed; only a signed QMXSET.EXE asks for its signature, and installs "
                "nothing without it (qmxcheck --seal --signer)");
        }
        break;
    case SealSignatureReport::kSigned:
        if (!required) {
            Add(report, Severity::NOTE, kSealSignatureName,
                "signed by " + seal.subject + ", but QMXSET.EXE is not signed, so the installer does not check it");
        }
        break;
    case SealSignatureReport::kOtherSigner:
        Add(report, Severity::ERROR, kSealSignatureName,
            "signed by " + seal.subject + ", not by the signer of QMXSET.EXE (" + programSubject + ")" + outcome);
        break;
    case SealSignatureReport::kDamaged:
        Add(report, severity, kSealSignatureName,
            "does not verify over QMX_CHG.SUM (the seal or its signature changed after signing)" + outcome);
        break;
    case SealSignatureReport::kUnsupported:
        Add(report, severity, kSealSignatureName,
            "not an RSA signature with SHA-256 by a key of 2048 to 4096 bits, the only ones the installer checks" +
                outcome);
        break;
    case SealSignatureReport::kUnreadable:
        Add(report, severity, kSealSignatureName,
            "not a signature the installer reads (a detached CMS SignedData over QMX_CHG.SUM by one signer, named "
            "by issuer and serial number, carrying its certificate)" + outcome);
        break;
    }
}

// A warning when there is no seal beside an unsigned QMXSET.EXE, an error
// for any fault the installer would refuse the package for.
void CheckPackageSeal(PackageReport& report) {
    std::deque<std::string> entries;
    for (const FileReport& file : report.files) entries.push_back(file.name);
    const ProgramSigner program = PackageProgramSigner(report.folder);
    const SealCheck check = CheckFolderSeal(report.folder, entries);
    report.sealSignature = ReadSealSignature(report.folder, program);
    AddSealSignatureFindings(report, CertificateSubject(program.certificate));
    switch (check.verdict) {
    case SealVerdict::kOk:
    case SealVerdict::kNotPublishers:  // the signature's finding says why
        return;
    case SealVerdict::kAbsent:
        Add(report, Severity::WARNING, kSealFileName,
            "missing: the package is not sealed, and a module changed on its way is installed all the "
            "same; qmxcheck --seal makes one");
        return;
    case SealVerdict::kMissing:
        Add(report, Severity::ERROR, kSealFileName,
            "missing, and QMXSET.EXE is signed: the installer installs nothing; qmxcheck --seal --signer seals "
            "and signs the package with the certificate QMXSET.EXE is signed with");
        return;
    default:
        Add(report, Severity::ERROR, kSealFileName, SealFindingText(check));
    }
}

// A signature whose time stamp is missing or does not count stops counting
// when the certificate expires; one whose stamp stamps another signature, or
// whose authority's signature fails, has been tampered with or broken.
void AddTimeStampFinding(PackageReport& report, const std::string& where, const SignatureInfo& sig) {
    switch (sig.timeStamp) {
    case TimeStampState::kVerified: break;
    case TimeStampState::kNone:
        Add(report, Severity::NOTE, where,
            "signed without a time stamp: the signature stops counting when the certificate expires");
        break;
    case TimeStampState::kNotChecked:
        Add(report, Severity::NOTE, where,
            "time stamp not verified (" + sig.timeStampProblem + "): where it does not count, the signature "
            "stops counting when the certificate expires");
        break;
    case TimeStampState::kDoesNotVerify:
        Add(report, Severity::WARNING, where,
            "time stamp not verified (" + sig.timeStampProblem + "): it does not count, so the signature stops "
            "counting when the certificate expires; time-stamp the original again");
        break;
    }
}

void AddSignatureFinding(PackageReport& report, const std::string& where, bool program, const SignatureInfo& sig) {
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
        AddTimeStampFinding(report, where, sig);
        break;
    case SignatureState::kUntrusted:
        Add(report, Severity::WARNING, where,
            "signed by " + sig.subject + ", but not by a chain this machine trusts (" + sig.problem + ")");
        break;
    case SignatureState::kDistrusted:
    case SignatureState::kRevoked:
        // Refused by name: no root a fleet adds makes these right.
        Add(report, Severity::ERROR, where,
            "signed by " + sig.subject + ", but Windows refuses its certificate (" + sig.problem +
                "), whatever roots the machine trusts; sign it with another certificate");
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

// QMXSET.EXE, when the package holds it, and every module found, into
// report.signatures: an unsigned QMXSET.EXE is a warning, an unsigned module
// a note, a damaged signature an error.
void CheckSignatures(PackageReport& report) {
    const ModuleProbe program = ProbeModule(report.folder, kProgramName);
    if (program.opened) {
        report.signatures.push_back({kProgramName, CheckSignature(program.path)});
        AddSignatureFinding(report, kProgramName, true, report.signatures.back().signature);
    }
    for (const FileReport& file : report.files) {
        if (!file.probe.opened || file.duplicate) continue;
        report.signatures.push_back({file.name, CheckSignature(file.probe.path)});
        AddSignatureFinding(report, "[File] " + file.name, false, report.signatures.back().signature);
    }
}

}  // namespace

std::string ForeignEncoding(const std::string& start) {
    if (start.compare(0, 3, "\xEF\xBB\xBF") == 0) return "UTF-8 with a byte-order mark";
    if (start.compare(0, 2, "\xFF\xFE") == 0) return "UTF-16 little-endian";
    if (start.compare(0, 2, "\xFE\xFF") == 0) return "UTF-16 big-endian";
    // ANSI text has no NUL at all; UTF-16 of ASCII has one in every
    // character. A quarter leaves room for other scripts.
    size_t nuls = 0;
    for (const char c : start) nuls += c == '\0';
    if (nuls >= 2 && nuls * 4 >= start.size()) return "UTF-16";
    return "";
}

PackageReport CheckPackage(const std::string& folder) {
    PackageReport report;
    report.folder = folder;
    const std::string path = JoinPath(folder, kChangeListName, kLocalSeparator);
    ChangeListFile changeList;
    changeList.SetChangeListPath(path);
    report.changeListRead = changeList.Load() == 1;
    if (!report.changeListRead) {
        // The folder is named once, as the report's package: a finding holds
        // only the package's own texts.
        Add(report, Severity::ERROR, kChangeListName, "missing or unreadable in the package folder");
        return report;
    }
    CheckEncoding(report, changeList);
    CheckInstall(report, path);
    CheckFiles(report, path);
    CheckMachines(report);
    CheckPackageSeal(report);
    // Anything but ON leaves the run as it always was; a value that is
    // neither ON nor OFF was meant as something.
    std::string rollback;
    if (changeList.Load() == 1 && changeList.FindEntry(rollback, "Rollback") == 1 && rollback != "ON" &&
        rollback != "OFF") {
        Add(report, Severity::ERROR, "[Rollback]",
            "\"" + rollback + "\" is neither ON nor OFF: the installer reads it as OFF, and the run is not all "
            "or nothing");
    }
    CheckSignatures(report);
    report.logOn = changeList.IsLogOn() == 1;
    if (report.logOn) {
        Add(report, Severity::WARNING, "[Log]",
            "ON: every machine writes C:\\QMX_CHG.LOG; turn it off before shipping");
    }
    return report;
}

int SealPackage(const std::string& folder, std::string* text, std::string* problem) {
    const PackageReport report = CheckPackage(folder);
    if (!report.changeListRead) {
        *problem = "no readable QMX_CHG.DAT in " + folder;
        return 0;
    }
    std::vector<std::string> modules;
    for (const FileReport& file : report.files) {
        if (file.plain && file.probe.opened) modules.push_back(file.name);
    }
    return WriteSeal(folder, modules, text, problem);
}

const char* SealSignatureStateName(SealSignatureReport::State state) {
    switch (state) {
    case SealSignatureReport::kUnsigned: return "unsigned";
    case SealSignatureReport::kSigned: return "signed";
    case SealSignatureReport::kOtherSigner: return "other signer";
    case SealSignatureReport::kDamaged: return "damaged";
    case SealSignatureReport::kUnsupported: return "unsupported";
    case SealSignatureReport::kUnreadable: return "unreadable";
    default: return "no seal";
    }
}

namespace {

// Whether the package's QMXSET.EXE would take a seal signed with
// certificate: false with why not when it is signed by another.
bool SignsTheProgram(const std::string& folder, const std::string& certificate, std::string* problem) {
    const ProgramSigner program = PackageProgramSigner(folder);
    if (program.state == ProgramSigner::kUnsigned || program.certificate == certificate) return true;
    *problem = program.state == ProgramSigner::kSigned
                   ? "QMXSET.EXE is signed by " + CertificateSubject(program.certificate) + ", not by " +
                         CertificateSubject(certificate) + ": it would refuse a seal signed with this certificate"
                   : "QMXSET.EXE's signature names no signer's certificate the installer can read";
    return false;
}

// QMX_CHG.SUM.p7s beside the seal just written, from signer when it names a
// certificate; else an earlier one, which signed other bytes, removed.
bool WriteSealSignature(const std::string& folder, const std::string& seal, const SealSignerFiles& signer,
                        std::string* problem) {
    const ModuleProbe existing = ProbeModule(folder, kSealSignatureName);
    const std::string path = existing.listed ? existing.path : JoinPath(folder, kSealSignatureName, kLocalSeparator);
    std::string signature;
    if (signer.certificate.empty()) {
        if (existing.listed && std::remove(path.c_str()) != 0) *problem = "cannot remove " + path;
        if (existing.listed && problem->empty()) {
            std::fprintf(stderr, "qmxcheck: removed %s: it signed the seal as it was\n", path.c_str());
        }
    } else if (SignSeal(signer, seal, &signature, problem) == 1 && !WriteWholeFile(path, signature)) {
        *problem = "cannot write " + path;
    }
    if (!problem->empty()) return false;
    if (signer.certificate.empty() && PackageProgramSigner(folder).state != ProgramSigner::kUnsigned) {
        *problem = "the seal is written, but QMXSET.EXE is signed and installs nothing from a seal its signer has "
                   "not signed: seal again with --signer";
        return false;
    }
    return true;
}

}  // namespace

int RunSealCommand(const std::string& folder, const SealSignerFiles& signer) {
    std::string text, problem, certificate;
    // The signer is checked before anything is written.
    const bool ready = signer.certificate.empty() || (ReadSealSigner(signer, &certificate, &problem) == 1 &&
                                                      SignsTheProgram(folder, certificate, &problem));
    if (!ready || SealPackage(folder, &text, &problem) != 1 || !WriteSealSignature(folder, text, signer, &problem)) {
        std::fprintf(stderr, "qmxcheck: %s\n", problem.c_str());
        return 2;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int CheckExitStatus(const PackageReport& report) {
    int status = 0;
    for (const Finding& finding : report.findings) {
        if (finding.severity == Severity::ERROR) return 2;
        if (finding.severity == Severity::WARNING) status = 1;
    }
    return status;
}
