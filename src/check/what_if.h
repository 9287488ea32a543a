// What the installer would do with a package against a given system folder
// on a given Windows version, as an administrator: the installer's own run
// and per-module decision, on a model of the two folders that changes
// nothing on disk.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "check/module_probe.h"
#include "check/windows_versions.h"
#include "engine/site/module_site.h"
#include "engine/site/outcome.h"
#include "engine/version/module_machine.h"

struct ModuleDecision {
    std::string name;
    ModuleAction action;
    uint32_t bit;        // the QMX_INST_* bit the run would OR in
    std::string reason;  // the two versions or times that decided it
};

// A listed module the programs that load the installed copy could not
// load: the run installs nothing at all.
struct MachineMisfit {
    std::string name;
    std::string installed;  // the installed copy's path, in the system folder as given
    ModuleMachine incoming;  // the package's copy; under undo, the kept copy
    ModuleMachine installedMachine;
};

struct WhatIfResult {
    bool targeted = false;     // the [Install] patterns match this Windows
    unsigned codePage = 0;     // the target's ANSI code page, as assumed
    std::string sealFault;     // the installer's log line when the seal check fails
    std::vector<MachineMisfit> otherMachine;  // in list order
    std::vector<ModuleDecision> modules;
    uint32_t outcome = 0;
    OutcomeMessage message = OutcomeMessage::kNotApplicable;
    int quietExitCode = 0;
    bool undo = false;         // the run predicted is /undo's
};

// The restart-time operations the what-if takes as pending.
struct PendingFacts {
    // Read from this machine, as the installer reads it: the folder checked
    // is its own system folder (wininit: the list of 95/98/Me).
    bool onTarget = false;
    bool wininit = false;
    // More pairs, as the NT family's move list holds them.
    std::string moves;
};

// Adds to facts, for the installed module name in systemFolder, our own
// staged copy waiting to replace it (ours), or another program's pending
// delete of it.
void AddPendingFact(PendingFacts* facts, const std::string& systemFolder, const std::string& name, bool ours);

// On Windows, when systemFolder is this machine's system folder: what its
// restart will do, by the list of windows' family. Else nothing.
PendingFacts PendingOnTarget(const std::string& systemFolder, const WindowsVersion& windows);

// busy: upper-cased names of installed modules to take as in use, which a
// copy of a folder cannot show; pending: the restart-time operations.
// storeFolder: a copy of the target's QMX_UNDO, whose files' names are the
// records; empty for none. undo: predict /undo instead of an installation.
WhatIfResult RunWhatIf(const std::string& packageFolder, const std::string& systemFolder,
                       const WindowsVersion& windows, const std::set<std::string>& busy = {},
                       const PendingFacts& pending = PendingFacts(),
                       const std::string& storeFolder = std::string(), bool undo = false);

// "replace (unless Windows protects it)" and the like: the first word is
// replace, stage, restart, keep, not, missing, refused, protected or failed;
// for an undo restore, restore (at the restart), nothing, missing, refused or
// cannot.
const char* DecisionText(ModuleAction action, bool undo = false);
