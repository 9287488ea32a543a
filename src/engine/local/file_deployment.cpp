#include "engine/local/file_deployment.h"

#include "engine/local/module_file_machine.h"
#include "engine/restart/letter_shift.h"
#include "engine/restart/module_holders.h"
#include "engine/restart/pending_operations.h"
#include "engine/restart/restart_schedule.h"
#include "engine/run/module_decision.h"
#include "engine/seal/file_hash.h"
#include "changelist/plain_file_name.h"
#include "engine/swap/durable_copy.h"
#include "engine/undo/rollback.h"
#include "engine/undo/store_record.h"
#include "engine/undo/undo_decision.h"
#include "log/debug_log.h"
#include "platform/ansi_text.h"
#include "platform/file_search.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

FileDeployment::FileDeployment(const Machine& machine, const std::string& sourceDir, const std::string& storeDir,
                               const ProgramSigner* publisher)
    : m_machine(machine), m_sourceDir(sourceDir), m_store(machine, storeDir), m_publisher(publisher) {}

ModuleResult FileDeployment::Deploy(const std::string& fileName, const Machine& machine) {
    m_gate.ReleaseInstalledBut(InstalledPath(fileName));
    return DeployModule(fileName, machine, *this);
}

ModuleResult FileDeployment::Undo(const std::string& fileName, const Machine& machine, bool staged) {
    return UndoModule(fileName, machine, *this, staged);
}

ModuleResult FileDeployment::RollBack(const std::string& fileName, const Machine& machine, bool staged) {
    const JournalChange* change = m_journal.Find(fileName);
    if (!change) return UndoModule(fileName, machine, *this, staged);
    return RollBackModule(fileName, machine, *this, KnownChange{change->kept, change->incoming}, staged);
}

bool FileDeployment::FitsMachine(const std::string& fileName, const Machine&, bool undo, std::string* installed) {
    // A name the run refuses is not read: it could name a file anywhere.
    if (!IsPlainName(fileName)) return true;
    // The installed side first: a module the folder does not hold, or a
    // file that is no image, leaves nothing to compare, and the package's
    // copy (under /undo, the store) is not read for it.
    const std::string dest = InstalledPath(fileName);
    const ModuleMachine present = InstalledMachine(dest, undo);
    if (present.kind == ModuleMachine::kNotImage) return true;
    std::string incoming;
    if (!IncomingCopy(fileName, undo, *this, &incoming)) return true;
    // A kept copy is not held: the store renames and removes its files.
    const ModuleMachine shipped = undo ? MachineOfFile(incoming) : PackageMachine(incoming);
    if (shipped.kind == ModuleMachine::kNotImage || FitsInstalled(present, shipped)) return true;
    *installed = dest;
    return false;
}

ModuleMachine FileDeployment::InstalledMachine(const std::string& dest, bool undo) {
    // On the NT family, outside /undo (whose store replaces modules before
    // any comparison), opened as the comparison of times opens it and held
    // for it. Else as the digest opens it, which reads a module in use, and
    // which 95/98 accept (they refuse FILE_SHARE_DELETE).
    const bool hold = !undo && m_machine.osClass != QMX_OS_WIN9X;
    ScopedFile file(hold ? VersionCompare::OpenToCompare(dest)
                         : g_os.CreateFileA(dest.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        // Not a module held, a folder or one we may not read: only absent.
        if (g_os.GetLastError() == ERROR_FILE_NOT_FOUND) m_gate.NoteAbsent(dest);
        return ModuleMachine();
    }
    m_gate.NotePresent(dest, file.Get());
    const ModuleMachine machine = MachineOfOpenFile(file.Get());
    if (hold) m_gate.HoldInstalled(dest, file.Release());
    return machine;
}

ModuleMachine FileDeployment::PackageMachine(const std::string& path) {
    // 95/98/Me, with fewer handles to spare, open it again to compare.
    if (m_machine.osClass == QMX_OS_WIN9X) return MachineOfFile(path);
    const HANDLE file = VersionCompare::OpenToCompare(path);
    if (file == INVALID_HANDLE_VALUE) return ModuleMachine();
    const ModuleMachine machine = MachineOfOpenFile(file);
    m_gate.Hold(path, file);
    return machine;
}

uint32_t FileDeployment::FinishInterruptedRuns(const Machine& machine) {
    std::string store;
    if (!m_store.Locate(&store)) return 0;
    uint32_t bits = 0;
    // Copied: finishing a run changes the store.
    const std::vector<std::string> journals = m_store.Journals();
    for (const std::string& path : journals) bits |= FinishInterruptedRun(path, machine);
    // This run's own package, from its own list, when it keeps.
    m_packageKnown = false;
    return bits;
}

uint32_t FileDeployment::FinishInterruptedRun(const std::string& path, const Machine& machine) {
    JournalContents run;
    // Held by a run still going (a renamed copy of the program), or no record.
    if (!ReadJournal(path, &run)) return 0;
    DebugLog("RollBack - Finishing an interrupted run of %s.\r\n", run.packageFolder.c_str());
    // Its records are the interrupted package's, whatever this run's is.
    m_store.UsePackage(run.package);
    m_packageKnown = true;
    uint32_t bits = 0;
    for (auto change = run.changes.rbegin(); change != run.changes.rend(); ++change) {
        const uint32_t bit =
            RollBackModule(change->name, machine, *this, KnownChange{change->kept, change->incoming}, change->staged)
                .bit;
        bits |= bit & (QMX_INST_FAILED | QMX_INST_ON_REBOOT);
        if (bit != QMX_INST_COPIED && bit != QMX_INST_ON_REBOOT && bit != QMX_INST_SKIPPED) bits |= QMX_INST_FAILED;
    }
    // A step that failed leaves the record for the next start to try again.
    if ((bits & QMX_INST_FAILED) == 0) g_os.DeleteFileA(path.c_str());
    return bits;
}

bool FileDeployment::RecordChange(const std::string& fileName, const std::string& dest, const Sha256Digest& incoming,
                                  bool staged) {
    if (!AllOrNothing()) return true;
    DWORD error = 0;
    std::string store;
    const bool recorded = m_store.Locate(&store) &&
                          (m_journal.Started() ||
                           m_journal.Begin(store, m_sourceDir.empty() ? m_machine.programDir : m_sourceDir,
                                           m_store.Package(), &error)) &&
                          m_journal.About(JournalChange{fileName, staged, m_store.LastKept(), incoming}, &error);
    if (recorded) return true;
    m_store.Settle(false);
    DebugLog("CopyTargetFile - Cannot keep %s.(%d)\r\n", dest.c_str(), static_cast<int>(error));
    return false;
}

void FileDeployment::ChangeMade(const std::string& fileName) {
    DWORD error = 0;
    if (AllOrNothing() && m_journal.Started()) m_journal.Made(fileName, &error);
}

void FileDeployment::EndRun() {
    m_store.Close();
    m_protection.Release();
    m_files = nullptr;
    m_packageKnown = false;
    m_pendingRead = false;
    m_scheduledNow.clear();
    m_gate.Clear();
    // Ended, rolled back or not: nothing is left to finish.
    m_journal.End();
}

void FileDeployment::KnowPackage(const std::string* justRead, const Sha256Digest* justReadDigest) {
    if (m_packageKnown || !m_files) return;
    PackageIdentity identity;
    for (const std::string& name : *m_files) {
        Sha256Digest digest;
        uint32_t error = 0;
        // The copy the caller has just read is not read again: a package of
        // one module would read it twice.
        const bool known = justRead && *justRead == name;
        if (known) digest = *justReadDigest;
        // A name the run refuses is not read: it could name a file anywhere.
        const bool read = known || (IsPlainFileName(name) && PackageDigest(name, &digest, &error) == 1);
        identity.Add(name, read ? &digest : nullptr);
    }
    m_store.UsePackage(identity.Final());
    m_packageKnown = true;
}

std::string FileDeployment::PackagePath(const std::string& name) const {
    return JoinPath(m_sourceDir.empty() ? m_machine.programDir : m_sourceDir, name);
}

std::string FileDeployment::InstalledPath(const std::string& name) const {
    return JoinPath(m_machine.systemDir, name);
}

bool FileDeployment::IsPlainName(const std::string& name) const {
    return IsPlainFileName(name);
}

int32_t FileDeployment::CompareTimeStamp(const std::string& file1, const std::string& file2) {
    const HANDLE held1 = m_gate.TakeHeld(file1);
    return m_compare.CompareTimeStamp(file1, held1, file2, m_gate.TakeHeld(file2));
}

bool FileDeployment::IsProtected(const std::string& path) { return m_protection.IsProtected(path); }

PendingKind FileDeployment::PendingFor(const std::string& fileName) {
    const std::string dest = InstalledPath(fileName);
    // Read once a run: only this run's own scheduling changes them meanwhile,
    // and what it scheduled is ours.
    if (!m_pendingRead) {
        m_pending = ReadMachinePending(m_machine);
        m_pendingRead = true;
    }
    // Under either folder: the other programs' entries, and ours, name the
    // folder as whoever wrote them saw it.
    const PendingNames names = PendingNamesOf(m_machine, m_pending, dest);
    PendingCheck check(names);
    m_pending.AddTo(&check);
    PendingKind kind = check.Kind();
    for (const std::string& scheduled : m_scheduledNow) {
        if (kind == PendingKind::kNone && scheduled == dest) kind = PendingKind::kOurs;
    }
    m_oursPending = kind == PendingKind::kOurs ? dest : std::string();
    return kind;
}

void FileDeployment::NoteInUse(const std::string& path) { LogModuleHolders(RealSystemPath(m_machine, path)); }

SwapResult FileDeployment::ReplaceNow(const std::string& fileName, const std::string& source,
                                      const std::string& dest, bool stillThere, uint32_t* error) {
    // What the search finds (attributes, creation time) carries over to the
    // replacement, and is what is kept: the existence test's search found it.
    const bool found = stillThere && m_lastFoundPath == dest;
    DWORD failure = 0;
    SwapResult result = SwapResult::kFailed;
    if (m_machine.osClass == QMX_OS_WIN9X) {
        result = CopyOverModule(fileName, source, dest, found, &failure);
    } else {
        PreparedCopy copy;
        // The digest the package's seal vouched for, when it has one: the
        // bytes that go in must be those, whatever happened to the file since.
        const CopyLike like{.found = found ? &m_lastFound : nullptr, .path = dest, .security = true, .hash = found};
        if (copy.Write(source, m_machine.systemDir, like, m_vouched.Find(fileName), &failure)) {
            if (found && !KeepInstalled(fileName, dest, m_lastFound, copy.Digest(), copy.LikeDigest(), copy.LikeFile())) {
                return SwapResult::kNotKept;
            }
            if (found && !RecordChange(fileName, dest, copy.Digest(), false)) return SwapResult::kNotKept;
            result = copy.SwapInto(dest, &failure);
            if (found) m_store.Settle(result == SwapResult::kDone);
            if (result == SwapResult::kDone) ChangeMade(fileName);
        }
    }
    *error = failure;
    return result;
}

SwapResult FileDeployment::CopyOverModule(const std::string& fileName, const std::string& source,
                                          const std::string& dest, bool found, DWORD* error) {
    // There is no copy of ours to check first: the package's file is checked
    // just before.
    Sha256Digest incoming;
    if (!ReadDigest(source, m_vouched.Find(fileName), &incoming, error)) return SwapResult::kFailed;
    if (found && !KeepInstalled(fileName, dest, m_lastFound, incoming)) return SwapResult::kNotKept;
    if (found && !RecordChange(fileName, dest, incoming, false)) return SwapResult::kNotKept;
    const SwapResult result = CopyOnto(source, dest, error);
    if (result == SwapResult::kDone) ChangeMade(fileName);
    // A copy cut short has changed the module: what it held goes back. The
    // record stays either way, the only way back when that fails too.
    if (found && result != SwapResult::kDone) PutBackAfterFailedCopy(fileName, source, dest, incoming);
    if (found) m_store.Settle(true);
    return result;
}

void FileDeployment::PutBackAfterFailedCopy(const std::string& fileName, const std::string& source,
                                            const std::string& dest, const Sha256Digest& incoming) {
    std::string kept = source;
    Sha256Digest keptDigest = incoming;
    DWORD failure = 0;
    // No record: the module held the package's own bytes, which the package
    // still holds.
    if (m_store.Find(fileName, incoming, &kept, &keptDigest, &failure) == -1) return;
    Sha256Digest now;
    if (ReadDigest(dest, nullptr, &now, &failure) && now == keptDigest) return;
    if (ReadDigest(kept, &keptDigest, &now, &failure)) CopyOnto(kept, dest, &failure);
}

StagedCopy FileDeployment::WriteStagedCopy(const std::string& fileName, const std::string& source,
                                           const std::string& staging, const std::string& dest, uint32_t* error) {
    // The staged copy takes the module's attributes, creation time and (NT
    // family, whose restart-time rename keeps them) owner and DACL.
    const bool nt = m_machine.osClass != QMX_OS_WIN9X;
    WIN32_FIND_DATAA installed;
    const bool exists = FindFile(dest, &installed);
    // What this package's change replaces is the module as the restart would
    // leave it: the staged copy, while our pair waits.
    const bool overOurs = dest == m_oursPending;
    WIN32_FIND_DATAA next = installed;
    const bool keep = overOurs ? FindFile(staging, &next) : exists;
    DWORD failure = 0;
    PreparedCopy copy;
    const CopyLike like{.found = exists ? &installed : nullptr, .path = dest, .security = nt, .hash = keep && !overOurs};
    if (copy.Write(source, m_machine.systemDir, like, m_vouched.Find(fileName), &failure)) {
        // Kept before it is scheduled: the restart takes the module's name
        // from its bytes.
        const bool kept = overOurs ? KeepInstalled(fileName, staging, next, copy.Digest())
                                   : KeepInstalled(fileName, dest, installed, copy.Digest(), copy.LikeDigest(),
                                                   copy.LikeFile());
        if (keep && !kept) return StagedCopy::kNotKept;
        if (copy.MoveTo(staging, nt, &failure)) {
            m_stagedNow = staging;
            if (keep && !RecordChange(fileName, dest, copy.Digest(), true)) {
                g_os.DeleteFileA(staging.c_str());
                return StagedCopy::kNotKept;
            }
            return StagedCopy::kWritten;
        }
        if (keep) m_store.Settle(false);
    }
    *error = failure;
    return StagedCopy::kFailed;
}

int FileDeployment::DefusePair(const std::string& fileName, const std::string& staging, const std::string& dest,
                               uint32_t* error) {
    WIN32_FIND_DATAA stagedFound, installedFound;
    Sha256Digest incoming, installed;
    DWORD failure = ERROR_FILE_NOT_FOUND;
    uint32_t readFailure = 0;
    const bool ready = FindFile(staging, &stagedFound) && FindFile(dest, &installedFound) &&
                       PackageDigest(fileName, &incoming, &readFailure) == 1 &&
                       ReadDigest(dest, nullptr, &installed, &failure);
    if (!ready || !KeepInstalled(fileName, staging, stagedFound, incoming)) {
        *error = readFailure != 0 ? readFailure : failure;
        return 0;
    }
    const int staged = StageKept(dest, installed, staging, dest, error);
    m_stagedNow.clear();
    m_store.Settle(staged == 1);
    return staged;
}

bool FileDeployment::KeepInstalled(const std::string& fileName, const std::string& module,
                                   const WIN32_FIND_DATAA& found, const Sha256Digest& incoming,
                                   const Sha256Digest* moduleDigest, HANDLE moduleFile) {
    // incoming is what the package's copy of fileName held as it was read
    // for this change.
    KnowPackage(&fileName, &incoming);
    DWORD error = 0;
    if (m_store.Keep(fileName, module, found, incoming, &error, moduleDigest, moduleFile)) return true;
    DebugLog("CopyTargetFile - Cannot keep %s.(%d)\r\n", module.c_str(), static_cast<int>(error));
    return false;
}

int FileDeployment::PackageDigest(const std::string& fileName, Sha256Digest* digest, uint32_t* error) {
    if (const Sha256Digest* sealed = m_vouched.Find(fileName)) {
        *digest = *sealed;
        return 1;
    }
    return HashFile(PackagePath(fileName), digest, error);
}

int FileDeployment::InstalledDigest(const std::string& path, Sha256Digest* digest, uint32_t* error) {
    return HashFile(path, digest, error);
}

int FileDeployment::FindKept(const std::string& fileName, const Sha256Digest& incoming, std::string* kept,
                             Sha256Digest* keptDigest, uint32_t* error) {
    KnowPackage();
    DWORD failure = 0;
    const int found = m_store.Find(fileName, incoming, kept, keptDigest, &failure);
    *error = failure;
    return found;
}

SwapResult FileDeployment::RestoreNow(const std::string& kept, const Sha256Digest& keptDigest,
                                      const std::string& dest, uint32_t* error) {
    WIN32_FIND_DATAA like;
    if (!FindFile(kept, &like)) {
        *error = ERROR_FILE_NOT_FOUND;
        return SwapResult::kFailed;
    }
    DWORD failure = 0;
    SwapResult result = SwapResult::kFailed;
    if (m_machine.osClass == QMX_OS_WIN9X) {
        Sha256Digest digest;
        if (ReadDigest(kept, &keptDigest, &digest, &failure)) result = CopyOnto(kept, dest, &failure);
    } else {
        // The kept copy's own time and attributes go back with it, and the
        // owner and DACL it had when it was kept, which the package's copy
        // took from it then: never whatever the kept file carries now.
        PreparedCopy copy;
        if (copy.Write(kept, m_machine.systemDir, CopyLike{.found = &like, .path = dest, .security = true},
                       &keptDigest, &failure)) {
            result = copy.SwapInto(dest, &failure);
        }
    }
    *error = failure;
    return result;
}

int FileDeployment::StageKept(const std::string& kept, const Sha256Digest& keptDigest,
                              const std::string& staging, const std::string& dest, uint32_t* error) {
    const bool nt = m_machine.osClass != QMX_OS_WIN9X;
    DWORD failure = ERROR_FILE_NOT_FOUND;
    WIN32_FIND_DATAA like;
    PreparedCopy copy;
    // The owner and DACL are the installed module's, as in RestoreNow.
    const bool staged =
        FindFile(kept, &like) &&
        copy.Write(kept, m_machine.systemDir, CopyLike{.found = &like, .path = dest, .security = nt}, &keptDigest,
                   &failure) &&
        copy.MoveTo(staging, nt, &failure);
    if (staged) m_stagedNow = staging;
    *error = failure;
    return staged ? 1 : 0;
}

int FileDeployment::KeptCopyOf(const std::string& fileName, const Sha256Digest& kept, std::string* path,
                               uint32_t* error) {
    KnowPackage();
    DWORD failure = 0;
    const int found = m_store.KeptCopyOf(fileName, kept, path, &failure);
    *error = failure;
    return found;
}

void FileDeployment::ForgetKept(const std::string& fileName, const Sha256Digest& incoming) {
    KnowPackage();
    m_store.Forget(fileName, incoming);
}

int FileDeployment::ScheduleReplacement(const std::string& staging, const std::string& dest) {
    const std::string stagedNow = std::move(m_stagedNow);
    m_stagedNow.clear();
    // A second run before the restart finds its own pair already listed: it
    // stays there once, as it was.
    int scheduled = 1;
    if (dest != m_oursPending) {
        scheduled = m_machine.osClass == QMX_OS_WIN9X ? ScheduleRenameEntry(staging, dest)
                                                      : ScheduleDelayedMove(m_machine, staging, dest);
    }
    if (scheduled == 1) {
        m_scheduledNow.push_back(dest);
        if (stagedNow == staging) ChangeMade(NameOf(dest));
    } else if (stagedNow == staging) {
        // Nothing of it is left for a later run to take as waiting: that run
        // keeps the module it finds.
        g_os.DeleteFileA(staging.c_str());
    }
    m_store.Settle(scheduled == 1);
    return scheduled;
}

int FileDeployment::VerifyPackage(const FileList& files) {
    m_files = &files;
    if (m_publisher == nullptr && !m_ownSignerRead) m_ownSigner = OwnSigner();
    m_ownSignerRead = true;
    const ProgramSigner& signer = m_publisher != nullptr ? *m_publisher : m_ownSigner;
    return ::VerifyPackage(m_sourceDir.empty() ? m_machine.programDir : m_sourceDir, files, signer.Publisher(),
                           &m_vouched);
}

int32_t FileDeployment::LockDestFile(const std::string& path) {
    ScopedFile file(g_os.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.IsValid()) {
        DebugLog("LockDestFile : QMX_LOCK_SUCEES \"%s\".\r\n", path.c_str());
        return QMX_LOCK_SUCEES;
    }
    const DWORD error = g_os.GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        DebugLog("LockDestFile : QMX_LOCK_NOTFOUND \"%s\".\r\n", path.c_str());
        return QMX_LOCK_NOTFOUND;
    }
    if (error == ERROR_SHARING_VIOLATION) {
        DebugLog("LockDestFile : QMX_LOCK_INUSE \"%s\".\r\n", path.c_str());
        return QMX_LOCK_INUSE;
    }
    DebugLog("LockDestFile : QMX_LOCK_ERROR(%d) \"%s\".\r\n", static_cast<int>(error), path.c_str());
    return QMX_LOCK_ERROR;
}

int FileDeployment::FileExists(const std::string& path) {
    m_lastFoundPath.clear();
    // What the machine gate has just learnt of it, when it did.
    WIN32_FIND_DATAA seen;
    const int known = m_gate.TakeInstalled(path, &seen);
    if (known == 0) return 0;
    if (known == 1) {
        m_lastFound = seen;
        m_lastFoundPath = path;
        return 1;
    }
    if (!FindFile(path, &m_lastFound)) return 0;
    m_lastFoundPath = path;
    return 1;
}
