// What the installer does with one listed module, decided in one place for
// the real run and for the package check's prediction.
//
// DeployModule asks its site for each fact when the decision needs it (the
// lock probe only for a newer copy, the staged copy only for a module in
// use) and tells it each step to take. The real site is the system folder
// (FileDeployment); the package check's site is a model of a copy of one,
// which changes nothing but remembers what a step would have left, so that a
// module listed twice is decided the second time as the real run decides it.
// Free of Win32.
#pragma once

#include <cstdint>
#include <string>

#include "engine/run/file_list.h"
#include "engine/restart/letter_shift.h"
#include "engine/run/machine.h"
#include "engine/version/module_order.h"
#include "engine/run/outcome.h"
#include "engine/restart/pending_operations.h"
#include "log/debug_log.h"

enum : int32_t {
    QMX_LOCK_SUCEES = 0,    // opened exclusively, and closed again
    QMX_LOCK_NOTFOUND = 1,  // ERROR_FILE_NOT_FOUND
    QMX_LOCK_INUSE = 2,     // ERROR_SHARING_VIOLATION
    QMX_LOCK_ERROR = 3,     // any other error
};

enum class SwapResult {
    kDone,    // the destination now holds the new bytes
    kBusy,    // the destination is in use (sharing violation); nothing changed
    kFailed,  // a step failed with the error given; nothing changed
    kNotKept, // the installed copy could not be kept, as the site has logged; nothing changed
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
    // it has none; 0 after logging the first fault.
    virtual int VerifyPackage(const FileList& files) = 0;
    // DeployModule(fileName, machine, *this) on the concrete site, so that
    // the decision calls the site's steps directly.
    virtual ModuleResult Deploy(const std::string& fileName, const Machine& machine) = 0;
    // UndoModule(fileName, machine, *this, staged) on the concrete site: puts
    // back the copy kept when this package's copy went in (staged: makes the
    // restart-time replacement this run scheduled harmless).
    virtual ModuleResult Undo(const std::string& fileName, const Machine& machine, bool staged) = 0;
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

// The steps DeployModule takes on a Site, which provides:
//   std::string PackagePath(name) const, InstalledPath(name) const:
//       full paths of name in the package and in the system folder;
//   bool IsPlainName(name) const: whether name may be appended to the system
//       folder (IsPlainFileName with this side's lead bytes);
//   int FileExists(path): 1 when a directory search finds path; else 0;
//   int32_t CompareTimeStamp(file1, file2): QMX_COMP_*, which of the two is
//       newer, each step logged;
//   bool IsProtected(path): whether Windows guards path against replacement;
//   PendingKind PendingFor(fileName): what the restart-time operations hold
//       for the installed module fileName;
//   int32_t LockDestFile(path): QMX_LOCK_*, whether path opens exclusively;
//   void NoteInUse(path): path must be staged because it is in use;
//   SwapResult ReplaceNow(fileName, source, dest, stillThere, uint32_t* error):
//       keeps dest's bytes, then puts source's bytes, listed module
//       fileName's, in dest's place now; stillThere is false when the lock
//       probe found dest gone; error is set for kFailed;
//   int WriteStagedCopy(fileName, source, staging, dest, uint32_t* error):
//       writes source's bytes to staging, beside dest, and keeps dest's: 1,
//       0 with error, or -1 when dest could not be kept (logged);
//   int ScheduleReplacement(staging, dest): schedules staging to replace dest
//       at the next restart: 1, or 0 after logging why not.
// A template rather than virtual steps: the installer has one site, and its
// steps then compile into the decision itself.

// The staging half alone: 1 when a staged copy of fileName is scheduled to
// replace it at the next restart (written now, or left by an earlier run and
// as new as the shipped file or newer); else 0. With waitingStays, a staged
// copy left by an earlier run is never written over: -1 when it would be.
template <class Site>
int MoveOnReboot(const std::string& fileName, Site& site, bool waitingStays = false);

// The gates every decision on a listed name passes first. A name with a
// folder, a drive or a device in it would reach outside the system folder
// ("..\\" did): the package is broken, as when it lacks a module it lists.
// Without the system folder the destination would be "\NAME", a file in the
// root of the current drive: never probe, copy or schedule there. True, with
// the result, when a gate stops the name.
template <class Site>
[[gnu::always_inline]] inline bool StoppedAtTheGates(const std::string& fileName, const Machine& machine,
                                                     const Site& site, ModuleResult* stopped) {
    if (!site.IsPlainName(fileName)) {
        DebugLog("CopyTargetFile - Invalid file name %s.\r\n", fileName.c_str());
        *stopped = ModuleResult{ModuleAction::kRefused, QMX_INST_NOT_APPLICABLE};
        return true;
    }
    if (machine.systemDir.empty()) {
        DebugLog("CopyTargetFile - GetSystemDirectory is failed. %s\r\n", fileName.c_str());
        *stopped = ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
        return true;
    }
    return false;
}

// A module left untouched until the restart has done what waits for it.
inline ModuleResult RestartFirst(const std::string& destPath) {
    DebugLog("CopyTargetFile - Restart pending for %s.\r\n", destPath.c_str());
    return ModuleResult{ModuleAction::kRestartFirst, QMX_INST_RESTART_FIRST};
}

// The one module's result: checks, comparison, then the replacement now, or
// staging for the restart when the module is in use, as site reports it.
// Always inlined: each site calls it from its one Deploy, and a call of its
// own would only add a frame and its unwind entry to the installer.
template <class Site>
[[gnu::always_inline]] inline ModuleResult DeployModule(const std::string& fileName,
                                                        const Machine& machine, Site& site) {
    if (machine.isAdmin == 0) {
        DebugLog("CopyTargetFile - I'm not administrator.\r\n");
        return ModuleResult{ModuleAction::kFailed, QMX_INST_NOT_ADMIN};
    }
    if (ModuleResult stopped; StoppedAtTheGates(fileName, machine, site, &stopped)) return stopped;
    const std::string sourcePath = site.PackagePath(fileName);
    const std::string destPath = site.InstalledPath(fileName);
    // Only files already installed are updated; a missing one is never added.
    if (site.FileExists(destPath) != 1) {
        DebugLog("CopyTargetFile - Not exist %s.\r\n", destPath.c_str());
        return ModuleResult{ModuleAction::kNotInstalled, QMX_INST_SKIPPED};
    }

    switch (site.CompareTimeStamp(sourcePath, destPath)) {
    case QMX_COMP_FILE1_IS_NEW:
        break;
    case QMX_COMP_FILE1_NOT_EXIST:
    case QMX_COMP_BOTH_NOT_EXIST:
        return ModuleResult{ModuleAction::kMissing, QMX_INST_NOT_APPLICABLE};
    default:
        return ModuleResult{ModuleAction::kKeep, QMX_INST_SKIPPED};
    }

    // Asked only for a copy that would change: Windows would quietly put a
    // guarded module back, and "complete" would then be untrue.
    if (site.IsProtected(destPath)) {
        DebugLog("CopyTargetFile - Protected by Windows %s.\r\n", destPath.c_str());
        return ModuleResult{ModuleAction::kProtected, QMX_INST_FAILED};
    }

    // Asked, like the protection, only for a copy that would change. Our own
    // pair still waiting means a copy replaced now would itself be replaced
    // by the older staged one at the restart; anyone else's operation on the
    // module would undo or delete ours there.
    const PendingKind pending = site.PendingFor(fileName);
    if (pending == PendingKind::kForeign) return RestartFirst(destPath);
    if (pending == PendingKind::kNone) {
        const int32_t lock = site.LockDestFile(destPath);
        if (lock == QMX_LOCK_SUCEES || lock == QMX_LOCK_NOTFOUND) {
            // NOTFOUND: the file vanished since the existence test; the
            // replacement puts it back.
            uint32_t error = 0;
            const SwapResult replaced =
                site.ReplaceNow(fileName, sourcePath, destPath, lock == QMX_LOCK_SUCEES, &error);
            if (replaced == SwapResult::kDone) return ModuleResult{ModuleAction::kReplace, QMX_INST_COPIED};
            if (replaced == SwapResult::kNotKept) return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
            if (replaced == SwapResult::kFailed) {
                DebugLog("CopyTargetFile - CopyFile is failed.(%d) %s -> %s\r\n",
                         static_cast<int>(error), sourcePath.c_str(), destPath.c_str());
                return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
            }
            // Taken by another process between the probe and the swap: as if
            // the probe had found it in use.
        } else if (lock != QMX_LOCK_INUSE) {
            // The probe could not tell (access denied and the like): nothing was
            // done, and saying "copied" would report a failure as success.
            return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
        }
        site.NoteInUse(destPath);
    }
    // In use, or our own pair already waiting (the module is then never
    // replaced now): the staged copy is the newer of the two, and replaces the
    // module at the restart. An all-or-nothing run leaves an earlier run's
    // staged copy as it is, since a rollback could not give it back: it asks
    // for that restart first, like any other operation waiting for it.
    const bool ours = pending == PendingKind::kOurs;
    switch (MoveOnReboot(fileName, site, ours && site.AllOrNothing())) {
    case 1:
        return ModuleResult{ours ? ModuleAction::kStagePending : ModuleAction::kStage, QMX_INST_ON_REBOOT};
    case -1:
        return RestartFirst(destPath);
    default:
        return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
    }
}

template <class Site>
int MoveOnReboot(const std::string& fileName, Site& site, bool waitingStays) {
    const std::string sourcePath = site.PackagePath(fileName);
    const std::string destPath = site.InstalledPath(fileName);
    const std::string stagingPath = ShiftLastLetterOf(destPath, 0);

    // A name that does not end in a letter has no neighbouring name: copying
    // would overwrite the file in use, and on 95/98/Me a Rename entry naming
    // the same file twice deletes it at the next start.
    if (stagingPath == destPath) {
        DebugLog("MoveOnReboot - Cannot stage %s.\r\n", destPath.c_str());
        return 0;
    }

    switch (site.CompareTimeStamp(sourcePath, stagingPath)) {
    case QMX_COMP_FILE1_IS_NEW:
    case QMX_COMP_FILE2_NOT_EXIST: {
        if (waitingStays) return -1;
        uint32_t error = 0;
        const int written = site.WriteStagedCopy(fileName, sourcePath, stagingPath, destPath, &error);
        if (written == 0) {
            DebugLog("MoveOnReboot - CopyFile is failed.(%d) %s -> %s\r\n", static_cast<int>(error),
                     sourcePath.c_str(), stagingPath.c_str());
        }
        // -1: the installed copy could not be kept, as the site has said.
        if (written != 1) return 0;
        break;
    }
    case QMX_COMP_FILE2_IS_NEW:
    case QMX_COMP_SAME:
        // An earlier run staged this copy, or a newer one, and it still waits
        // for the restart: nothing has failed, so name it again.
        break;
    default:
        return 0;
    }
    return site.ScheduleReplacement(stagingPath, destPath);
}
