// The package check's findings and what-if, as text for a person or JSON for
// a build pipeline.
#pragma once

#include <string>

#include "check/package_check.h"
#include "check/what_if.h"

// whatIf and windows are both given, or both null for no what-if.
std::string TextReport(const PackageReport& report, const WhatIfResult* whatIf,
                       const WindowsVersion* windows);
std::string JsonReport(const PackageReport& report, const WhatIfResult* whatIf,
                       const WindowsVersion* windows);
