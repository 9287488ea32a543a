#include "check/folder_model.h"

#include "check/decision_reason.h"
#include "check/seal_check.h"
#include "engine/restart/letter_shift.h"
#include "engine/restart/pending_operations.h"
#include "engine/run/module_decision.h"
#include "changelist/plain_file_name.h"
#include "engine/undo/undo_decision.h"
#include "platform/ansi_text.h"
#include "platform/text_case.h"

namespace {

// ERROR_CRC: a kept copy that no longer hashes to its name.
const uint32_t kErrorCrc = 23;

std::string UpperCased(std::string text) {
    UpperCaseAnsi(text);
    return text;
}

}  // namespace

const char FolderModel::kPackageRoot[] = "P:";
const char FolderModel::kSystemRoot[] = "S:";

FolderModel::FolderModel(const std::string& packageFolder, const std::string& systemFolder,
                         const std::set<std::string>& busy, const PendingFacts& pending,
                         const std::string& storeFolder, bool undo)
    : m_package(packageFolder),
      m_system(systemFolder), m_busy(busy), m_pending(pending), m_undo(undo), m_store(m_files, storeFolder) {
    m_files.MapRoot(kPackageRoot, packageFolder);
    m_files.MapRoot(kSystemRoot, systemFolder);
}

ModuleResult FolderModel::Deploy(const std::string& fileName, const Machine& machine) {
    const ModuleResult result = DeployModule(fileName, machine, *this);
    m_decisions.push_back({fileName, result.action, result.bit, ReasonFor(fileName, result)});
    m_compared = false;
    return result;
}

ModuleResult FolderModel::Undo(const std::string& fileName, const Machine& machine, bool staged) {
    m_undoReason = "the system's copy is not the package's";
    const ModuleResult result = UndoModule(fileName, machine, *this, staged);
    // A rollback's steps are the run's, not listed modules' decisions.
    if (m_undo) m_decisions.push_back({fileName, result.action, result.bit, UndoReasonFor(fileName, result)});
    return result;
}

ModuleResult FolderModel::RollBack(const std::string& fileName, const Machine& machine, bool staged) {
    const auto change = m_changes.find(fileName);
    if (change == m_changes.end()) return UndoModule(fileName, machine, *this, staged);
    return RollBackModule(fileName, machine, *this, change->second, staged);
}

void FolderModel::NoteChange(const std::string& fileName, const std::string& source, const std::string& path) {
    KnownChange change;
    if (m_files.DigestAt(source, &change.incoming) == 1 && m_files.DigestAt(path, &change.kept) == 1) {
        m_changes[fileName] = change;
    }
}

int FolderModel::KeptCopyOf(const std::string& fileName, const Sha256Digest& kept, std::string* path, uint32_t*) {
    KnowPackage();
    return m_store.KeptCopyOf(fileName, kept, path) ? 1 : 0;
}

int FolderModel::VerifyPackage(const FileList& files) {
    m_list = &files;
    ProbedPackage package(m_package);
    const ProgramSigner signer = PackageProgramSigner(m_package);
    const SealCheck seal = ::VerifyPackage(package, files, signer.Publisher());
    if (seal.verdict == SealVerdict::kOk || seal.verdict == SealVerdict::kAbsent) return 1;
    m_sealFault = SealFaultLine(seal);
    m_sealFault.resize(m_sealFault.size() - 2);  // without its CR LF
    return 0;
}

bool FolderModel::FitsMachine(const std::string& fileName, const Machine&, bool undo, std::string* installed) {
    std::string incoming;
    if (!IncomingCopy(fileName, undo, *this, &incoming)) return true;
    const std::string dest = InstalledPath(fileName);
    MachineMisfit misfit;
    misfit.incoming = m_files.Probe(incoming).machine;
    misfit.installedMachine = m_files.Probe(dest).machine;
    if (misfit.incoming.kind == ModuleMachine::kNotImage || FitsInstalled(misfit.installedMachine, misfit.incoming)) {
        return true;
    }
    *installed = dest;
    misfit.name = fileName;
    misfit.installed = JoinPath(m_system, fileName, kLocalSeparator);
    m_misfits.push_back(misfit);
    return false;
}

std::string FolderModel::PackagePath(const std::string& name) const { return JoinPath(kPackageRoot, name); }

std::string FolderModel::InstalledPath(const std::string& name) const { return JoinPath(kSystemRoot, name); }

bool FolderModel::IsPlainName(const std::string& name) const { return IsPlainFileName(name); }

int32_t FolderModel::CompareTimeStamp(const std::string& file1, const std::string& file2) {
    const ModuleProbe first = m_files.Probe(file1), second = m_files.Probe(file2);
    const int32_t order = CompareModules(FactsOf(first), FactsOf(second));
    // The package's copy against what it would replace gives the reason.
    if (!m_compared && FolderOf(file1) == kPackageRoot) {
        m_shipped = first;
        m_installed = second;
        m_order = order;
        m_compared = true;
    }
    return order;
}

PendingKind FolderModel::PendingFor(const std::string& fileName) {
    // The lists name the module by its path in the folder given, not by the
    // model's own.
    const std::string dest = JoinPath(m_system, fileName);
    PendingNames names;
    names.module.seen = dest;
    names.staged.seen = ShiftLastLetterOf(dest, 0);
    MachinePending pending;
#if defined(_WIN32)
    if (m_pending.onTarget) {
        Machine target;
        target.osClass = m_pending.wininit ? QMX_OS_WIN9X : QMX_OS_NT5_OR_LATER;
        target.systemDir = m_system;
        target.realSystemDir = RedirectedSystemFolder(m_system);
        pending = ReadMachinePending(target);
        names = PendingNamesOf(target, pending, dest);
    }
#endif
    PendingCheck check(names);
    pending.AddTo(&check);
    check.AddMoveList(m_pending.moves);
    m_oursPending = check.Kind() == PendingKind::kOurs ? InstalledPath(fileName) : std::string();
    return check.Kind();
}

int32_t FolderModel::LockDestFile(const std::string& path) {
    return m_busy.count(UpperCased(NameOf(path))) ? QMX_LOCK_INUSE : QMX_LOCK_SUCEES;
}

void FolderModel::KnowPackage() {
    if (m_packageKnown || !m_list) return;
    PackageIdentity identity;
    for (const std::string& name : *m_list) {
        Sha256Digest digest;
        const bool read = IsPlainFileName(name) && m_files.DigestAt(PackagePath(name), &digest) == 1;
        identity.Add(name, read ? &digest : nullptr);
    }
    m_store.UsePackage(identity.Final());
    m_packageKnown = true;
}

SwapResult FolderModel::ReplaceNow(const std::string& fileName, const std::string& source, const std::string& dest,
                                   bool stillThere, uint32_t*) {
    KnowPackage();
    if (stillThere) {
        m_store.Keep(fileName, source, dest);
        NoteChange(fileName, source, dest);
    }
    m_files.Put(dest, m_files.Probe(source), source);
    return SwapResult::kDone;
}

StagedCopy FolderModel::WriteStagedCopy(const std::string& fileName, const std::string& source,
                                        const std::string& staging, const std::string& dest, uint32_t*) {
    KnowPackage();
    // What the package's change replaces is the module as the restart would
    // leave it: the staged copy, while our pair waits.
    const std::string& next = dest == m_oursPending ? staging : dest;
    if (m_files.Probe(next).opened) {
        m_store.Keep(fileName, source, next);
        NoteChange(fileName, source, next);
    }
    m_files.Put(staging, m_files.Probe(source), source);
    return StagedCopy::kWritten;
}

int FolderModel::DefusePair(const std::string& fileName, const std::string& staging, const std::string& dest,
                            uint32_t*) {
    KnowPackage();
    m_store.Keep(fileName, PackagePath(fileName), staging);
    m_files.Put(staging, m_files.Probe(dest), dest);
    return 1;
}

void FolderModel::ForgetKept(const std::string& fileName, const Sha256Digest& incoming) {
    KnowPackage();
    m_store.Forget(fileName, incoming);
}

int FolderModel::FindKept(const std::string& fileName, const Sha256Digest& incoming, std::string* kept,
                          Sha256Digest* keptDigest, uint32_t* error) {
    KnowPackage();
    const int found = m_store.Find(fileName, incoming, kept, keptDigest);
    if (found == -1) {
        m_undoReason = "several copies kept for the package's copy: the store is inconsistent";
        *error = kInconsistentStore;
    } else if (found == 0) {
        m_undoReason = "no copy kept for the package's copy";
    }
    return found;
}

SwapResult FolderModel::RestoreNow(const std::string& kept, const Sha256Digest& keptDigest, const std::string& dest,
                                   uint32_t* error) {
    return StageKept(kept, keptDigest, dest, dest, error) == 1 ? SwapResult::kDone : SwapResult::kFailed;
}

int FolderModel::StageKept(const std::string& kept, const Sha256Digest& keptDigest, const std::string& staging,
                           const std::string&, uint32_t* error) {
    Sha256Digest digest;
    if (m_files.DigestAt(kept, &digest) != 1 || digest != keptDigest) {
        m_undoReason = "the kept copy no longer hashes to its name";
        *error = kErrorCrc;
        return 0;
    }
    m_files.Put(staging, m_files.Probe(kept), kept);
    return 1;
}

std::string FolderModel::UndoReasonFor(const std::string& name, const ModuleResult& result) const {
    switch (result.action) {
    case ModuleAction::kRefused: return "not a plain file name";
    case ModuleAction::kMissing: return "the package has no " + name;
    case ModuleAction::kKeep:
        return m_files.Probe(InstalledPath(name)).listed ? m_undoReason : "the system folder has no " + name;
    case ModuleAction::kFailed: return m_undoReason;
    default: return "the system's copy is the package's, and a copy was kept when it went in";
    }
}

std::string FolderModel::ReasonFor(const std::string& name, const ModuleResult& result) const {
    switch (result.action) {
    case ModuleAction::kRefused: return "not a plain file name";
    case ModuleAction::kNotInstalled:
    case ModuleAction::kMissing:
        // A copy on the build machine names its files in UTF-8: this name
        // has no such form, so neither folder can show the module.
        if (m_files.Probe(InstalledPath(name)).unnamable) {
            return "no file here can be named " + name + ": it is no text of code page " +
                   std::to_string(AnsiCodePage());
        }
        return result.action == ModuleAction::kMissing ? "the package has no " + name
                                                        : "the system folder has no " + name;
    case ModuleAction::kFailed: return "the run could not go on";
    default: break;
    }
    if (m_order == QMX_COMP_FILE2_NOT_EXIST) return "the system's " + name + " cannot be opened";
    return ComparisonReason(m_shipped, m_installed, m_order);
}
