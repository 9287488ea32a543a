// qmxcheck [--json] [--against SYSDIR --windows NAME [--busy MODULE]...
//           [--pending-ours MODULE]... [--pending-other MODULE]...] PACKAGE_DIR
// qmxcheck --help | -h | /?
//
// Exit status: 0 for a clean package (and for --help), 1 for warnings only,
// 2 for errors, 3 when the command line or a named folder is wrong.
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "changelist/text_case.h"
#include "check/check_report.h"
#include "check/package_check.h"
#include "check/seal_check.h"
#include "check/what_if.h"
#include "check/windows_versions.h"

namespace {

const int kUsageError = 3;

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: qmxcheck [--json] [--against SYSDIR --windows NAME [--busy MODULE]...\n"
                 "                [--pending-ours MODULE]... [--pending-other MODULE]...] PACKAGE_DIR\n"
                 "NAME is one of:");
    for (const WindowsVersion& w : KnownWindows()) std::fprintf(out, " %s", w.name);
    std::fprintf(out,
                 "\nexit status: 0 clean, 1 warnings only, 2 errors, 3 a wrong command line or "
                 "folder\n");
}

int Usage(const char* problem) {
    std::fprintf(stderr, "qmxcheck: %s\n", problem);
    PrintUsage(stderr);
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    bool json = false, seal = false;
    std::string against, windowsName, package;
    // Installed modules the what-if takes as in use, which a copy of a
    // system folder cannot show.
    std::set<std::string> busy;
    // Installed modules with a restart-time operation pending: our own staged
    // copy (true) or another program's (false). Against this machine's own
    // system folder its list is read as well.
    std::vector<std::pair<std::string, bool>> pendingNames;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--busy" && i + 1 < argc) {
            std::string name = argv[++i];
            UpperCaseAnsi(name);
            busy.insert(name);
        } else if ((arg == "--pending-ours" || arg == "--pending-other") && i + 1 < argc) {
            std::string name = argv[++i];
            UpperCaseAnsi(name);
            pendingNames.emplace_back(name, arg == "--pending-ours");
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
    if (windows != nullptr) {
        PendingFacts pending = PendingOnTarget(against, *windows);
        for (const auto& name : pendingNames) AddPendingFact(&pending, against, name.first, name.second);
        whatIf = RunWhatIf(package, against, *windows, busy, pending);
    }
    const WhatIfResult* shown = windows != nullptr ? &whatIf : nullptr;
    const std::string text = json ? JsonReport(report, shown, windows) : TextReport(report, shown, windows);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return CheckExitStatus(report);
}
