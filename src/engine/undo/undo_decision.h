// What /undo, and an all-or-nothing run that has to stop, do with one listed
// module: put back the copy kept when this package's copy went in, decided in
// one place for the real run and for the package check's prediction, as
// DeployModule is. Free of Win32.
#pragma once

#include <cstdint>
#include <string>

#include "engine/restart/letter_shift.h"
#include "engine/run/machine.h"
#include "engine/run/module_decision.h"
#include "engine/run/outcome.h"
#include "engine/seal/sha256.h"
#include "log/debug_log.h"

// The steps UndoModule takes on a Site, beside DeployModule's PackagePath,
// InstalledPath, IsPlainName, FileExists, LockDestFile and
// ScheduleReplacement:
//   int PackageDigest(fileName, Sha256Digest*, uint32_t* error): the
//       package's copy's SHA-256 (the sealed one, when sealed): 1, or 0;
//   int InstalledDigest(path, Sha256Digest*, uint32_t* error): 1, or 0;
//   int FindKept(fileName, incoming, std::string* kept, Sha256Digest*
//       keptDigest, uint32_t* error): the copy kept when incoming's bytes
//       replaced fileName: 1, 0 when there is none, -1 with error;
//   SwapResult RestoreNow(kept, keptDigest, dest, uint32_t* error): kept's
//       bytes, time, attributes and ACL in dest's place by one rename, only
//       when they hash to keptDigest (else kFailed);
//   int StageKept(kept, keptDigest, staging, dest, uint32_t* error): the same
//       into staging, beside dest: 1, or 0 with error;
//   void ForgetKept(fileName, incoming): the used record removed.
//
// 0x01 restored now (staged: the staged copy now holds the kept bytes), 0x04
// restored at the next restart, 0x02 nothing to undo (the module holds
// something other than this package's copy, or the store no copy kept for
// it), 0x80 a failed step or a kept copy that fails its digest, 0x08 a
// broken package. Only 0x01 and 0x04 touch the module.
template <class Site>
ModuleResult UndoModule(const std::string& fileName, const Machine& machine, Site& site, bool staged) {
    // The installation's own gates hold: a name that would reach outside the
    // system folder is refused as the installation refuses it.
    if (ModuleResult stopped; StoppedAtTheGates(fileName, machine, site, &stopped)) return stopped;
    const std::string dest = site.InstalledPath(fileName);
    const std::string staging = ShiftLastLetterOf(dest, 0);
    uint32_t error = 0;
    Sha256Digest ours;
    if (site.PackageDigest(fileName, &ours, &error) != 1) {
        return ModuleResult{ModuleAction::kMissing, QMX_INST_NOT_APPLICABLE};
    }
    Sha256Digest keptDigest;
    std::string kept;
    int found = staged ? 1 : 0;
    if (!staged && site.FileExists(dest) == 1) {
        Sha256Digest installed;
        // Another program's copy since, or one never ours, is left as it is.
        found = site.InstalledDigest(dest, &installed, &error) != 1 ? -1 : installed == ours ? 1 : 0;
    }
    if (found == 1) found = site.FindKept(fileName, ours, &kept, &keptDigest, &error);
    if (found == 0) {
        DebugLog("UndoModule - Nothing to undo for %s.\r\n", dest.c_str());
        return ModuleResult{ModuleAction::kKeep, QMX_INST_SKIPPED};
    }
    ModuleResult result{ModuleAction::kFailed, QMX_INST_FAILED};
    if (found == 1 && staged) {
        // The restart's rename then puts the module's own bytes back.
        if (site.StageKept(kept, keptDigest, staging, dest, &error) == 1) {
            result = ModuleResult{ModuleAction::kReplace, QMX_INST_COPIED};
        }
    } else if (found == 1) {
        const int32_t lock = site.LockDestFile(dest);
        SwapResult swap = SwapResult::kBusy;
        if (lock == QMX_LOCK_SUCEES || lock == QMX_LOCK_NOTFOUND) {
            swap = site.RestoreNow(kept, keptDigest, dest, &error);
        } else if (lock != QMX_LOCK_INUSE) {
            swap = SwapResult::kFailed;
        }
        if (swap == SwapResult::kDone) {
            result = ModuleResult{ModuleAction::kReplace, QMX_INST_COPIED};
        } else if (swap == SwapResult::kBusy && staging != dest &&
                   site.StageKept(kept, keptDigest, staging, dest, &error) == 1 &&
                   site.ScheduleReplacement(staging, dest) == 1) {
            result = ModuleResult{ModuleAction::kStage, QMX_INST_ON_REBOOT};
        } else if (swap == SwapResult::kBusy && error == 0) {
            error = 32;  // ERROR_SHARING_VIOLATION: in use, and no staged copy could take its place
        }
    }
    if (result.bit == QMX_INST_FAILED) {
        DebugLog("UndoModule - Cannot restore %s.(%d)\r\n", dest.c_str(), static_cast<int>(error));
        return result;
    }
    site.ForgetKept(fileName, ours);
    DebugLog("UndoModule - Restored %s.\r\n", dest.c_str());
    return result;
}
