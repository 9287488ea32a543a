// The contract between a run, its per-module decisions and the place the
// modules go to (the site): what a run asks of its site, the steps a
// decision may take there, and what each answers. The real site is the
// system folder (FileDeployment); the package check's is a model of a copy
// of one (FolderModel), which changes nothing but remembers what a step
// would have left. Free of Win32.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>

#include "engine/seal/sha256.h"
#include "engine/site/file_list.h"
#include "engine/site/machine.h"

enum : int32_t {
    QMX_LOCK_SUCEES = 0,    // opened exclusively, and closed again
    QMX_LOCK_NOTFOUND = 1,  // ERROR_FILE_NOT_FOUND
    QMX_LOCK_INUSE = 2,     // ERROR_SHARING_VIOLATION
    QMX_LOCK_ERROR = 3,     // any other error
};

// ERROR_FILE_NOT_FOUND and ERROR_SHARING_VIOLATION, as the steps report a
// copy that is not there and a module found in use.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorSharingViolation = 32;

// What a lock probe lets a decision do with the installed module.
enum class LockReading {
    kSwap,     // it opened exclusively, or has gone since it was found (the swap puts it back)
    kInUse,    // another process holds it: stage it, or wait
    kUnknown,  // the probe could not tell (access denied and the like): touch nothing
};

inline LockReading ReadLock(int32_t lock) {
    if (lock == QMX_LOCK_SUCEES || lock == QMX_LOCK_NOTFOUND) return LockReading::kSwap;
    return lock == QMX_LOCK_INUSE ? LockReading::kInUse : LockReading::kUnknown;
}

enum class SwapResult {
    kDone,    // the destination now holds the new bytes
    kBusy,    // the destination is in use (sharing violation); nothing changed
    kFailed,  // a step failed with the error given; nothing changed
    kNotKept, // the installed copy could not be kept, as the site has logged; nothing changed
};

// What the restart-time operations hold for one installed module.
enum class PendingKind {
    kNone,     // no operation names the module
    kOurs,     // only our own pair: its staged copy replacing it
    kForeign,  // another operation replaces, deletes or moves the module
};

// What WriteStagedCopy did.
enum class StagedCopy {
    kWritten,    // the staged copy is written, and the installed module kept
    kFailed,     // the copy failed with the error given
    kNotKept,    // the installed module could not be kept, as the site has logged
};

enum class ModuleAction {
    kReplace,       // replaced now
    kStage,         // in use: a staged copy replaces it at the next restart
    kStagePending,  // our replacement already waits for the restart: it stays the way
    kRestartFirst,  // another program's restart-time operation is on it: not touched
    kKeep,          // the installed copy is as new or newer
    kNotInstalled,  // the system folder has no copy: never added
    kMissing,       // the package lacks a module the system has: a broken package
    kRefused,       // not a plain file name: a broken package
    kProtected,     // newer, but Windows guards the installed copy
    kFailed,        // a step failed, or the machine could not be probed
};

struct ModuleResult {
    ModuleAction action;
    uint32_t bit;  // exactly one QMX_INST_* bit
};

// What a run asks of the place its modules go to: the seal check first,
// then one decision per listed name, in list order.
class ModuleSite {
public:
    // Before any module is compared: 1 when the package's seal holds, or
    // it has none; 0 after logging the first fault. files is the run's list,
    // which the site may read until EndRun.
    virtual int VerifyPackage(const FileList& files) = 0;
    // DeployModule(fileName, machine, *this) on the concrete site, so that
    // the decision calls the site's steps directly.
    virtual ModuleResult Deploy(const std::string& fileName, const Machine& machine) = 0;
    // UndoModule(fileName, machine, *this, staged) on the concrete site: puts
    // back the copy kept when this package's copy went in (staged: makes the
    // restart-time replacement this run scheduled harmless).
    virtual ModuleResult Undo(const std::string& fileName, const Machine& machine, bool staged) = 0;
    // Puts back the change this run made to fileName (staged: scheduled for
    // the restart), when an all-or-nothing run has to stop: by what the
    // site knew when it made the change, without the package.
    virtual ModuleResult RollBack(const std::string& fileName, const Machine& machine, bool staged) = 0;
    // After the authority check, before anything else: the runs that were
    // interrupted before they could finish rolled back. The 0x80 and 0x04
    // their steps gave.
    virtual uint32_t FinishInterruptedRuns(const Machine&) { return 0; }
    // Between the seal check and the first module: false when the package's
    // copy of fileName (under undo, the kept copy that would be put back)
    // could not be loaded by the programs that load the installed copy,
    // whose path *installed then holds. A name either side lacks, or holds
    // as no PE image, fits: the decision deals with it as before.
    virtual bool FitsMachine(const std::string& /*fileName*/, const Machine&, bool /*undo*/,
                             std::string* /*installed*/) {
        return true;
    }
    // After the last module: the site's own records brought up to date.
    virtual void EndRun() {}

    // Set by the run before its first module: whether it is all or nothing
    // ([Rollback] ON), and so puts back what it changed when a module fails.
    void SetAllOrNothing(bool allOrNothing) { m_allOrNothing = allOrNothing; }
    bool AllOrNothing() const { return m_allOrNothing; }

protected:
    // Never deleted through this interface: a run only borrows its site.
    ~ModuleSite() = default;

private:
    bool m_allOrNothing = false;
};

// The steps DeployModule takes on a site. A template rather than virtual
// steps: the installer has one site, and its steps then compile into the
// decision itself.
template <class Site>
concept DeploySite = requires(Site& site, const Site& seen, const std::string& path, uint32_t* error) {
    // Full paths of a listed name in the package and in the system folder.
    { seen.PackagePath(path) } -> std::same_as<std::string>;
    { seen.InstalledPath(path) } -> std::same_as<std::string>;
    // Whether the name may be appended to the system folder
    // (IsPlainFileName with this side's lead bytes).
    { seen.IsPlainName(path) } -> std::same_as<bool>;
    // 1 when a directory search finds path; else 0.
    { site.FileExists(path) } -> std::same_as<int>;
    // QMX_COMP_*: which of the two is newer, each step logged.
    { site.CompareTimeStamp(path, path) } -> std::same_as<int32_t>;
    // Whether Windows guards path against replacement.
    { site.IsProtected(path) } -> std::same_as<bool>;
    // What the restart-time operations hold for the installed module of a
    // listed name.
    { site.PendingFor(path) } -> std::same_as<PendingKind>;
    // QMX_LOCK_*: whether path opens exclusively.
    { site.LockDestFile(path) } -> std::same_as<int32_t>;
    // path must be staged because it is in use.
    site.NoteInUse(path);
    // ReplaceNow(fileName, source, dest, stillThere, error): keeps dest's
    // bytes, then puts source's bytes, listed module fileName's, in dest's
    // place now; stillThere is false when the lock probe found dest gone;
    // error is set for kFailed.
    { site.ReplaceNow(path, path, path, true, error) } -> std::same_as<SwapResult>;
    // WriteStagedCopy(fileName, source, staging, dest, error): writes
    // source's bytes to staging, beside dest, and keeps dest's; error is
    // set for kFailed.
    { site.WriteStagedCopy(path, path, path, path, error) } -> std::same_as<StagedCopy>;
    // ScheduleReplacement(staging, dest): schedules staging to replace dest
    // at the next restart: 1, or 0 after logging why not (and then what this
    // run prepared for it, the staged copy and its record, is gone).
    { site.ScheduleReplacement(path, path) } -> std::same_as<int>;
    // DefusePair(fileName, staging, dest, error): our pair would put
    // staging, older than dest, in dest's place at the restart; keeps
    // staging's bytes as what this package's change of fileName replaces,
    // then puts dest's bytes in staging's place, so that the pair changes
    // nothing: 1, or 0 with error.
    { site.DefusePair(path, path, path, error) } -> std::same_as<int>;
};

// The steps UndoModule takes on a site: DeploySite's paths, existence test,
// lock probe and scheduling, and these.
template <class Site>
concept UndoSite = DeploySite<Site> && requires(Site& site, const std::string& path, Sha256Digest* digest,
                                                 const Sha256Digest& known, std::string* kept, uint32_t* error) {
    // The package's copy's SHA-256 (the sealed one, when sealed): 1, or 0.
    { site.PackageDigest(path, digest, error) } -> std::same_as<int>;
    // The installed copy's SHA-256: 1, or 0.
    { site.InstalledDigest(path, digest, error) } -> std::same_as<int>;
    // FindKept(fileName, incoming, kept, keptDigest, error): the copy kept
    // when incoming's bytes replaced fileName: 1, 0 when there is none, -1
    // with error.
    { site.FindKept(path, known, kept, digest, error) } -> std::same_as<int>;
    // RestoreNow(kept, keptDigest, dest, error): kept's bytes, time,
    // attributes and ACL in dest's place by one rename, only when they hash
    // to keptDigest (else kFailed).
    { site.RestoreNow(path, known, path, error) } -> std::same_as<SwapResult>;
    // StageKept(kept, keptDigest, staging, dest, error): the same into
    // staging, beside dest: 1, or 0 with error.
    { site.StageKept(path, known, path, path, error) } -> std::same_as<int>;
    // ForgetKept(fileName, incoming): the used record removed.
    site.ForgetKept(path, known);
    // KeptCopyOf(fileName, keptDigest, kept, error): the copy this package
    // kept of fileName's bytes keptDigest: 1 with its path, 0 when there is
    // none, -1 with error.
    { site.KeptCopyOf(path, known, kept, error) } -> std::same_as<int>;
};
