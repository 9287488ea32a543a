// What the installer would do with a package against a given system folder
// on a given Windows version, as an administrator: each module's decision,
// the outcome bits, the message and the quiet run's exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/module_probe.h"
#include "check/windows_versions.h"

enum class Decision {
    REPLACE,         // newer: replaced now, or staged if in use
    KEEP,            // the installed copy is as new or newer
    NOT_INSTALLED,   // the system folder has no copy: never added
    MISSING,         // the system has a copy, the package none: a broken package
    REFUSED,         // not a plain file name: a broken package
};

struct ModuleDecision {
    std::string name;
    Decision decision;
    uint32_t bit;        // the QMX_INST_* bit the run would OR in
    std::string reason;  // the two versions or times that decided it
};

struct WhatIfResult {
    bool targeted = false;     // the [Install] patterns match this Windows
    std::string sealFault;     // the installer's log line when the seal check fails
    std::vector<ModuleDecision> modules;
    uint32_t outcome = 0;
    uint32_t messageIdEnglish = 0;
    uint32_t messageIdJapanese = 0;
    int quietExitCode = 0;
};

WhatIfResult RunWhatIf(const std::string& packageFolder, const std::string& systemFolder,
                       const WindowsVersion& windows);

// "replace now, or stage if in use" and the like.
const char* DecisionText(Decision decision);
