// Why the what-if's run decided as it did, in words: the versions or times
// that the installer's comparison went by.
#pragma once

#include <cstdint>
#include <string>

#include "check/module_probe.h"
#include "engine/version/module_order.h"

// What the comparison reads of a module, from what the probe found.
ModuleFacts FactsOf(const ModuleProbe& probe);

// Which of the two texts or times decided, in the comparison's own order
// (QMX_COMP_*), as "package "1.2.0.0", system "1.0.0.0"" and, when the
// times decided, when each was written.
std::string ComparisonReason(const ModuleProbe& shipped, const ModuleProbe& installed, int32_t order);
