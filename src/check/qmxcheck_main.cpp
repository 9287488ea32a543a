// qmxcheck [--json] [--against SYSDIR --windows NAME] PACKAGE_DIR
//
// Exit status: 0 for a clean package, 1 for warnings only, 2 for errors,
// 3 when the command line or a named folder is wrong.
#include <cstdio>
#include <string>

#include "check/check_report.h"
#include "check/package_check.h"
#include "check/seal_check.h"
#include "check/what_if.h"
#include "check/windows_versions.h"

namespace {

const int kUsageError = 3;

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "qmxcheck: %s\n"
                 "usage: qmxcheck [--json] [--against SYSDIR --windows NAME] PACKAGE_DIR\n"
                 "NAME is one of:",
                 problem);
    for (const WindowsVersion& w : KnownWindows()) std::fprintf(stderr, " %s", w.name);
    std::fprintf(stderr, "\n");
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    bool json = false, seal = false;
    std::string against, windowsName, package;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--seal") {
            seal = true;
        } else if ((arg == "--against" || arg == "--windows") && i + 1 < argc) {
            (arg == "--against" ? against : windowsName) = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else if (package.empty()) {
            package = arg;
        } else {
            return Usage("more than one package folder");
        }
    }
    if (package.empty()) return Usage("no package folder");
    if (against.empty() != windowsName.empty()) return Usage("--against and --windows go together");
    if (!FolderExists(package)) return Usage(("no folder " + package).c_str());
    if (seal) return RunSealCommand(package);
    const WindowsVersion* windows = nullptr;
    if (!windowsName.empty()) {
        windows = FindWindows(windowsName);
        if (windows == nullptr) return Usage(("unknown Windows version " + windowsName).c_str());
        if (!FolderExists(against)) return Usage(("no folder " + against).c_str());
    }

    const PackageReport report = CheckPackage(package);
    WhatIfResult whatIf;
    if (windows != nullptr) whatIf = RunWhatIf(package, against, *windows);
    const WhatIfResult* shown = windows != nullptr ? &whatIf : nullptr;
    const std::string text = json ? JsonReport(report, shown, windows) : TextReport(report, shown, windows);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return CheckExitStatus(report);
}
