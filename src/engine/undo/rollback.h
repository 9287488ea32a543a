// Putting back what an all-or-nothing run ([Rollback] ON) has changed when it
// has to stop: each module it replaced or scheduled, last first, by the undo
// decision on the run's own site. Free of Win32.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "engine/restart/letter_shift.h"
#include "engine/seal/sha256.h"
#include "engine/site/machine.h"
#include "engine/site/module_gates.h"
#include "engine/site/module_site.h"
#include "engine/site/outcome.h"
#include "engine/undo/undo_decision.h"
#include "log/debug_log.h"

// What a run knew of a change it made to a module: the digest of the bytes it
// kept, and of the package's copy that went in.
struct KnownChange {
    Sha256Digest kept;
    Sha256Digest incoming;
};

// One step of putting back a change an all-or-nothing run made, by what the
// run knew then; staged: the change waits for the restart. 0x01 put back (now,
// or the waiting change made harmless), 0x04 put back at the restart (the
// module in use), 0x02 nothing to put back (the change never happened, or
// the module holds another program's copy since), 0x80 as logged.
template <UndoSite Site>
ModuleResult RollBackModule(const std::string& fileName, const Machine& machine, Site& site,
                            const KnownChange& change, bool staged) {
    if (ModuleResult stopped; StoppedAtTheGates(fileName, machine, site, &stopped)) return stopped;
    // The module held the package's own bytes: nothing was kept, nothing changed.
    if (change.kept == change.incoming) return ModuleResult{ModuleAction::kKeep, QMX_INST_SKIPPED};
    const std::string dest = site.InstalledPath(fileName);
    const std::string staging = ShiftLastLetterOf(dest, 0);
    uint32_t error = kErrorFileNotFound;
    std::string kept;
    Sha256Digest installed;
    ModuleResult result{ModuleAction::kFailed, QMX_INST_FAILED};
    if (site.KeptCopyOf(fileName, change.kept, &kept, &error) != 1) {
        // No record to use.
    } else if (staged) {
        // The restart's rename then puts the module's own bytes back.
        if (site.StageKept(kept, change.kept, staging, dest, &error) == 1) {
            result = ModuleResult{ModuleAction::kReplace, QMX_INST_COPIED};
        }
    } else if (site.InstalledDigest(dest, &installed, &error) == 1 && installed != change.incoming) {
        // Never changed (the run stopped before its swap), or changed by
        // someone else since: left as it is.
        if (installed == change.kept) site.ForgetKept(fileName, change.incoming);
        return ModuleResult{ModuleAction::kKeep, QMX_INST_SKIPPED};
    } else if (installed == change.incoming) {
        result = PutBackNow(kept, change.kept, dest, staging, site, &error);
    }
    if (result.bit == QMX_INST_FAILED) {
        DebugLog("UndoModule - Cannot restore %s.(%d)\r\n", dest.c_str(), static_cast<int>(error));
        return result;
    }
    site.ForgetKept(fileName, change.incoming);
    DebugLog("UndoModule - Restored %s.\r\n", dest.c_str());
    return result;
}

class Rollback {
public:
    // name (the run's own copy of it, which outlives this) was replaced now,
    // or scheduled to be at the restart (staged).
    void Note(const std::string& name, bool staged) { m_changed.push_back(Change{&name, staged}); }

    // Puts back every change noted, last first, on site: 0x80 when a step
    // failed, 0x04 when one must wait for the restart, else 0.
    uint32_t PutBack(ModuleSite& site, const Machine& machine) const;

private:
    struct Change {
        const std::string* name;
        bool staged;  // scheduled for the restart rather than replaced now
    };
    std::deque<Change> m_changed;
};
