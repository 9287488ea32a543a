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
        if (ModuleResult now; SettledNow(fileName, sourcePath, destPath, site, &now)) return now;
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
    case kStagedCopyWaits:
        return RestartFirst(destPath);
    default:
        return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
    }
}
