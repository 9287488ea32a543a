// The staging half of the decision on a module in use: its staged copy,
// beside it under the neighbouring name, scheduled to replace it at the next
// restart. Free of Win32.
#pragma once

#include <cstdint>
#include <string>

#include "engine/restart/letter_shift.h"
#include "engine/site/module_site.h"
#include "engine/version/module_order.h"
#include "log/debug_log.h"

// MoveOnReboot's answer when waitingStays keeps it from writing over an
// earlier run's staged copy.
constexpr int kStagedCopyWaits = -1;

// The shipped file written to the staged name beside the installed module and
// scheduled to replace it at the next restart: 1, or 0 as logged.
template <DeploySite Site>
int StageAndSchedule(const std::string& fileName, const std::string& sourcePath, const std::string& stagingPath,
                     const std::string& destPath, Site& site) {
    uint32_t error = 0;
    const StagedCopy written = site.WriteStagedCopy(fileName, sourcePath, stagingPath, destPath, &error);
    if (written == StagedCopy::kFailed) {
        DebugLog("MoveOnReboot - CopyFile is failed.(%d) %s -> %s\r\n", static_cast<int>(error), sourcePath.c_str(),
                 stagingPath.c_str());
    }
    // kNotKept: the site has said why.
    if (written != StagedCopy::kWritten) return 0;
    return site.ScheduleReplacement(stagingPath, destPath);
}

// 1 when a staged copy of fileName is scheduled to replace it at the next
// restart (written now, or left by an earlier run and as new as the shipped
// file or newer); else 0, as logged. With waitingStays, a staged copy left by
// an earlier run is never written over: kStagedCopyWaits when it would be.
template <DeploySite Site>
int MoveOnReboot(const std::string& fileName, Site& site, bool waitingStays = false) {
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
        if (waitingStays) return kStagedCopyWaits;
        return StageAndSchedule(fileName, sourcePath, stagingPath, destPath, site);
    case QMX_COMP_FILE2_IS_NEW:
    case QMX_COMP_SAME:
        // An earlier run staged this copy, or a newer one, and it still waits
        // for the restart: nothing has failed, so name it again.
        return site.ScheduleReplacement(stagingPath, destPath);
    default:
        return 0;
    }
}
