// What the installer does with one listed module, decided in one place for
// the real run and for the package check's prediction.
//
// DeployModule asks its site for each fact when the decision needs it (the
// lock probe only for a newer copy, the staged copy only for a module in
// use) and tells it each step to take (DeploySite). Free of Win32.
#pragma once

#include <cstdint>
#include <string>

#include "engine/restart/staging.h"
#include "engine/site/machine.h"
#include "engine/site/module_gates.h"
#include "engine/site/module_site.h"
#include "engine/site/outcome.h"
#include "engine/version/module_order.h"
#include "log/debug_log.h"

// A module left untouched until the restart has done what waits for it.
inline ModuleResult RestartFirst(const std::string& destPath) {
    DebugLog("CopyTargetFile - Restart pending for %s.\r\n", destPath.c_str());
    return ModuleResult{ModuleAction::kRestartFirst, QMX_INST_RESTART_FIRST};
}

// The replacement now, when the lock probe lets it go ahead: true with the
// result when that settles the module; false when it is in use (found so by
// the probe, or taken by another process between the probe and the swap) and
// must be staged.
template <DeploySite Site>
[[gnu::always_inline]] inline bool SettledNow(const std::string& fileName, const std::string& sourcePath,
                                              const std::string& destPath, Site& site, ModuleResult* result) {
    const int32_t lock = site.LockDestFile(destPath);
    const LockReading reading = ReadLock(lock);
    if (reading == LockReading::kInUse) return false;
    *result = ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
    // The probe could not tell (access denied and the like): nothing was
    // done, and saying "copied" would report a failure as success.
    if (reading == LockReading::kUnknown) return true;
    uint32_t error = 0;
    // NOTFOUND: the file vanished since the existence test; the replacement
    // puts it back.
    switch (site.ReplaceNow(fileName, sourcePath, destPath, lock == QMX_LOCK_SUCEES, &error)) {
    case SwapResult::kDone:
        *result = ModuleResult{ModuleAction::kReplace, QMX_INST_COPIED};
        return true;
    case SwapResult::kFailed:
        DebugLog("CopyTargetFile - CopyFile is failed.(%d) %s -> %s\r\n", static_cast<int>(error),
                 sourcePath.c_str(), destPath.c_str());
        return true;
    case SwapResult::kNotKept:
        return true;
    case SwapResult::kBusy:
        break;
    }
    return false;
}

// Our own pair waiting for the restart: the staged copy is the module as the
// restart leaves it, and the module is never replaced now, as the restart's
// rename would replace it again. A staged copy older than the installed
// module (someone else's update since, or /undo's kept copy under the
// package's own) would downgrade it: the pair is made harmless first, and a
// harmless pair leaves the module as it is now. A newer package goes to the
// staged name; else the staged copy stays the way, or the module is current.
// An all-or-nothing run writes over no staged copy of an earlier run, since a
// rollback could not give it back: it asks for that restart first, like any
// other operation waiting for it.
template <DeploySite Site>
[[gnu::always_inline]] inline ModuleResult DeployOverOurPair(const std::string& fileName, const std::string& destPath,
                                                             Site& site) {
    const std::string stagingPath = ShiftLastLetterOf(destPath, 0);
    const std::string sourcePath = site.PackagePath(fileName);
    const int32_t staged = site.CompareTimeStamp(stagingPath, destPath);
    // Made harmless, the pair leaves the installed module as it is.
    const bool downgrade = staged == QMX_COMP_FILE2_IS_NEW;
    const bool harmless = staged != QMX_COMP_FILE1_IS_NEW;
    const int32_t order = site.CompareTimeStamp(sourcePath, downgrade ? destPath : stagingPath);
    if (order == QMX_COMP_FILE1_NOT_EXIST || order == QMX_COMP_BOTH_NOT_EXIST) {
        return ModuleResult{ModuleAction::kMissing, QMX_INST_NOT_APPLICABLE};
    }
    if (downgrade) {
        if (site.AllOrNothing()) return RestartFirst(destPath);
        uint32_t error = 0;
        if (site.DefusePair(fileName, stagingPath, destPath, &error) != 1) {
            DebugLog("MoveOnReboot - CopyFile is failed.(%d) %s -> %s\r\n", static_cast<int>(error),
                     destPath.c_str(), stagingPath.c_str());
            return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
        }
    }
    switch (order) {
    case QMX_COMP_FILE1_IS_NEW:
    case QMX_COMP_FILE2_NOT_EXIST:
        if (site.AllOrNothing()) return RestartFirst(destPath);
        if (StageAndSchedule(fileName, sourcePath, stagingPath, destPath, site) != 1) break;
        return ModuleResult{ModuleAction::kStagePending, QMX_INST_ON_REBOOT};
    default:
        // As new as the package's copy, or newer: it stays the way, or, made
        // harmless, the module is current.
        if (harmless) return ModuleResult{ModuleAction::kKeep, QMX_INST_SKIPPED};
        if (site.ScheduleReplacement(stagingPath, destPath) != 1) break;
        return ModuleResult{ModuleAction::kStagePending, QMX_INST_ON_REBOOT};
    }
    return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
}

// The one module's result: checks, comparison, then the replacement now, or
// staging for the restart when the module is in use, as site reports it.
// Always inlined: each site calls it from its one Deploy, and a call of its
// own would only add a frame and its unwind entry to the installer.
template <DeploySite Site>
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
    // Our own pair still waiting decides what the module will be: the staged
    // copy, not the installed one, is what the run must compare with.
    const PendingKind pending = site.PendingFor(fileName);
    if (pending == PendingKind::kOurs) return DeployOverOurPair(fileName, destPath, site);

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

    // Anyone else's operation on the module would undo or delete ours at
    // the restart.
    if (pending == PendingKind::kForeign) return RestartFirst(destPath);
    if (ModuleResult now; SettledNow(fileName, sourcePath, destPath, site, &now)) return now;
    site.NoteInUse(destPath);
    // In use: the staged copy replaces the module at the restart.
    return MoveOnReboot(fileName, site) == 1 ? ModuleResult{ModuleAction::kStage, QMX_INST_ON_REBOOT}
                                             : ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
}
