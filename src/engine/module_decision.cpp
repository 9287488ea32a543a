#include "engine/module_decision.h"

#include "engine/letter_shift.h"
#include "engine/module_order.h"
#include "engine/outcome.h"
#include "log/debug_log.h"

namespace {

ModuleResult Result(ModuleAction action, uint32_t bit) { return {action, bit}; }

}  // namespace

ModuleResult DeployModule(const std::string& fileName, const Machine& machine, ModuleSite& site) {
    if (machine.isAdmin == 0) {
        DebugLog("CopyTargetFile - I'm not administrator.\r\n");
        return Result(ModuleAction::kFailed, QMX_INST_NOT_ADMIN);
    }
    // A name with a folder, a drive or a device in it would reach outside the
    // system folder ("..\\" did): the package is broken, as when it lacks a
    // module it lists.
    if (!site.IsPlainName(fileName)) {
        DebugLog("CopyTargetFile - Invalid file name %s.\r\n", fileName.c_str());
        return Result(ModuleAction::kRefused, QMX_INST_NOT_APPLICABLE);
    }
    // Without the system folder the destination would be "\NAME", a file in
    // the root of the current drive: never probe, copy or schedule there.
    if (machine.systemDir.empty()) {
        DebugLog("CopyTargetFile - GetSystemDirectory is failed. %s\r\n", fileName.c_str());
        return Result(ModuleAction::kFailed, QMX_INST_FAILED);
    }
    const std::string sourcePath = site.PackagePath(fileName);
    const std::string destPath = site.InstalledPath(fileName);
    // Only files already installed are updated; a missing one is never added.
    if (site.FileExists(destPath) != 1) {
        DebugLog("CopyTargetFile - Not exist %s.\r\n", destPath.c_str());
        return Result(ModuleAction::kNotInstalled, QMX_INST_SKIPPED);
    }

    switch (site.CompareTimeStamp(sourcePath, destPath)) {
    case QMX_COMP_FILE1_IS_NEW:
        break;
    case QMX_COMP_FILE1_NOT_EXIST:
    case QMX_COMP_BOTH_NOT_EXIST:
        return Result(ModuleAction::kMissing, QMX_INST_NOT_APPLICABLE);
    default:
        return Result(ModuleAction::kKeep, QMX_INST_SKIPPED);
    }

    // Asked only for a copy that would change: Windows would quietly put a
    // guarded module back, and "complete" would then be untrue.
    if (site.IsProtected(destPath)) {
        DebugLog("CopyTargetFile - Protected by Windows %s.\r\n", destPath.c_str());
        return Result(ModuleAction::kProtected, QMX_INST_FAILED);
    }

    const int32_t lock = site.LockDestFile(destPath);
    if (lock == QMX_LOCK_SUCEES || lock == QMX_LOCK_NOTFOUND) {
        // NOTFOUND: the file vanished since the existence test; the
        // replacement puts it back.
        uint32_t error = 0;
        const SwapResult replaced =
            site.ReplaceNow(fileName, sourcePath, destPath, lock == QMX_LOCK_SUCEES, &error);
        if (replaced == SwapResult::kDone) return Result(ModuleAction::kReplace, QMX_INST_COPIED);
        if (replaced == SwapResult::kFailed) {
            DebugLog("CopyTargetFile - CopyFile is failed.(%d) %s -> %s\r\n",
                     static_cast<int>(error), sourcePath.c_str(), destPath.c_str());
            return Result(ModuleAction::kFailed, QMX_INST_FAILED);
        }
        // Taken by another process between the probe and the swap: as if
        // the probe had found it in use.
    } else if (lock != QMX_LOCK_INUSE) {
        // The probe could not tell (access denied and the like): nothing was
        // done, and saying "copied" would report a failure as success.
        return Result(ModuleAction::kFailed, QMX_INST_FAILED);
    }
    return MoveOnReboot(fileName, site) == 1 ? Result(ModuleAction::kStage, QMX_INST_ON_REBOOT)
                                             : Result(ModuleAction::kFailed, QMX_INST_FAILED);
}

int MoveOnReboot(const std::string& fileName, ModuleSite& site) {
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
    case QMX_COMP_FILE2_NOT_EXIST:
        if (uint32_t error = 0; site.WriteStagedCopy(fileName, sourcePath, stagingPath, destPath, &error) != 1) {
            DebugLog("MoveOnReboot - CopyFile is failed.(%d) %s -> %s\r\n", static_cast<int>(error),
                     sourcePath.c_str(), stagingPath.c_str());
            return 0;
        }
        break;
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
