// What /undo, and an all-or-nothing run that has to stop, do with one listed
// module: put back the copy kept when this package's copy went in, decided in
// one place for the real run and for the package check's prediction, as
// DeployModule is. Free of Win32.
#pragma once

#include <cstdint>
#include <string>

#include "engine/restart/letter_shift.h"
#include "engine/seal/sha256.h"
#include "engine/site/machine.h"
#include "engine/site/module_gates.h"
#include "engine/site/module_site.h"
#include "engine/site/outcome.h"
#include "log/debug_log.h"

// What the store holds for the module the package's copy went over.
enum class KeptCopy {
    kFound,    // a copy was kept when this package's copy went in
    kNone,     // nothing to undo: the module is not the package's copy, or nothing was kept
    kUnknown,  // the module or the store could not be read
};

// Whether the installed module at dest is the package's copy ours and the
// store holds the copy it replaced, read into kept and keptDigest. staged:
// the package's copy waits for the restart, so the installed module is not
// asked.
template <UndoSite Site>
KeptCopy FindKeptCopy(const std::string& fileName, const std::string& dest, const Sha256Digest& ours,
                      bool staged, Site& site, std::string* kept, Sha256Digest* keptDigest,
                      uint32_t* error) {
    if (!staged) {
        if (site.FileExists(dest) != 1) return KeptCopy::kNone;
        Sha256Digest installed;
        if (site.InstalledDigest(dest, &installed, error) != 1) return KeptCopy::kUnknown;
        // Another program's copy since, or one never ours, is left as it is.
        if (installed != ours) return KeptCopy::kNone;
    }
    const int found = site.FindKept(fileName, ours, kept, keptDigest, error);
    return found == 1 ? KeptCopy::kFound : found == 0 ? KeptCopy::kNone : KeptCopy::kUnknown;
}

// The package's copy still waiting for the restart, as our pair's staged
// copy, is taken back: the staged copy then holds the module's own bytes, so
// that the restart brings nothing of the package's. 0x01 when the module
// holds what the package's change would have replaced (the copy kept of it,
// then used); 0x02 when it holds another program's copy since, or nothing
// was kept; 0x80 as logged.
template <UndoSite Site>
ModuleResult TakeBackWaitingCopy(const std::string& fileName, const std::string& dest, const std::string& staging,
                                 const Sha256Digest& ours, Site& site) {
    uint32_t error = 0;
    Sha256Digest installed;
    if (site.InstalledDigest(dest, &installed, &error) != 1 ||
        site.StageKept(dest, installed, staging, dest, &error) != 1) {
        DebugLog("UndoModule - Cannot restore %s.(%d)\r\n", dest.c_str(), static_cast<int>(error));
        return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
    }
    std::string kept;
    Sha256Digest keptDigest;
    if (site.FindKept(fileName, ours, &kept, &keptDigest, &error) != 1 || keptDigest != installed) {
        DebugLog("UndoModule - Nothing to undo for %s.\r\n", dest.c_str());
        return ModuleResult{ModuleAction::kKeep, QMX_INST_SKIPPED};
    }
    site.ForgetKept(fileName, ours);
    DebugLog("UndoModule - Restored %s.\r\n", dest.c_str());
    return ModuleResult{ModuleAction::kReplace, QMX_INST_COPIED};
}

// Whether our pair waits to put the package's copy, ours, in dest's place.
template <UndoSite Site>
bool PackageCopyWaits(const std::string& fileName, const std::string& staging, const Sha256Digest& ours, Site& site) {
    uint32_t error = 0;
    Sha256Digest staged;
    return site.PendingFor(fileName) == PendingKind::kOurs && site.InstalledDigest(staging, &staged, &error) == 1 &&
           staged == ours;
}

// kept's bytes (keptDigest) in dest's place now, or, the module in use, at
// the restart through staging: 0x01, 0x04, or 0x80 with error.
template <UndoSite Site>
ModuleResult PutBackNow(const std::string& kept, const Sha256Digest& keptDigest, const std::string& dest,
                        const std::string& staging, Site& site, uint32_t* error) {
    const LockReading lock = ReadLock(site.LockDestFile(dest));
    const SwapResult swap = lock == LockReading::kSwap    ? site.RestoreNow(kept, keptDigest, dest, error)
                            : lock == LockReading::kInUse ? SwapResult::kBusy
                                                          : SwapResult::kFailed;
    if (swap == SwapResult::kDone) return ModuleResult{ModuleAction::kReplace, QMX_INST_COPIED};
    if (swap == SwapResult::kBusy && staging != dest && site.StageKept(kept, keptDigest, staging, dest, error) == 1 &&
        site.ScheduleReplacement(staging, dest) == 1) {
        return ModuleResult{ModuleAction::kStage, QMX_INST_ON_REBOOT};
    }
    // In use, and no staged copy could take its place.
    if (swap == SwapResult::kBusy && *error == 0) *error = kErrorSharingViolation;
    return ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
}

// 0x01 restored now (staged: the staged copy now holds the kept bytes; or
// the package's copy that waited for the restart taken back), 0x04
// restored at the next restart, 0x02 nothing to undo (the module holds
// something other than this package's copy, or the store no copy kept for
// it), 0x80 a failed step or a kept copy that fails its digest, 0x08 a
// broken package. Only 0x01 and 0x04 touch the module.
template <UndoSite Site>
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
    const KeptCopy found = FindKeptCopy(fileName, dest, ours, staged, site, &kept, &keptDigest, &error);
    // The package's copy waiting for the restart is the module's next state.
    const bool waits = !staged && PackageCopyWaits(fileName, staging, ours, site);
    if (found == KeptCopy::kNone && waits) return TakeBackWaitingCopy(fileName, dest, staging, ours, site);
    if (found == KeptCopy::kNone) {
        DebugLog("UndoModule - Nothing to undo for %s.\r\n", dest.c_str());
        return ModuleResult{ModuleAction::kKeep, QMX_INST_SKIPPED};
    }
    ModuleResult result{ModuleAction::kFailed, QMX_INST_FAILED};
    if (found == KeptCopy::kFound && staged) {
        // The restart's rename then puts the module's own bytes back.
        if (site.StageKept(kept, keptDigest, staging, dest, &error) == 1) {
            result = ModuleResult{ModuleAction::kReplace, QMX_INST_COPIED};
        }
    } else if (found == KeptCopy::kFound) {
        result = PutBackNow(kept, keptDigest, dest, staging, site, &error);
        // Restored now, the pair still waiting must bring the same bytes.
        if (result.bit == QMX_INST_COPIED && waits && site.StageKept(kept, keptDigest, staging, dest, &error) != 1) {
            result = ModuleResult{ModuleAction::kFailed, QMX_INST_FAILED};
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

// The copy the machine gate holds against the installed module: the
// package's, or under /undo the kept copy that would go back. False when
// there is none to compare (a refused name, a package copy or store that
// cannot be read): the decision then deals with the name as before.
template <UndoSite Site>
bool IncomingCopy(const std::string& fileName, bool undo, Site& site, std::string* incoming) {
    // A name the run refuses is not read: it could name a file anywhere.
    if (!site.IsPlainName(fileName)) return false;
    *incoming = site.PackagePath(fileName);
    if (!undo) return true;
    Sha256Digest ours, keptDigest;
    uint32_t error = 0;
    return site.PackageDigest(fileName, &ours, &error) == 1 &&
           site.FindKept(fileName, ours, incoming, &keptDigest, &error) == 1;
}
