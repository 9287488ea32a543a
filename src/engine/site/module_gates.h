// The gates every decision on a listed name passes first, the installation's
// and the undo's alike. Free of Win32.
#pragma once

#include <string>

#include "engine/site/machine.h"
#include "engine/site/module_site.h"
#include "engine/site/outcome.h"
#include "log/debug_log.h"

// A name with a folder, a drive or a device in it would reach outside the
// system folder ("..\\" did): the package is broken, as when it lacks a
// module it lists. Without the system folder the destination would be
// "\NAME", a file in the root of the current drive: never probe, copy or
// schedule there. True, with the result, when a gate stops the name.
template <DeploySite Site>
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
