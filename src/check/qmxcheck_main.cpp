// qmxcheck [--json] [--codepage N] [--against SYSDIR --windows NAME [--busy MODULE]...
//           [--pending-ours MODULE]... [--pending-other MODULE]... [--store DIR] [--undo]] PACKAGE_DIR
// qmxcheck --help | -h | /?
//
// Exit status: 0 for a clean package (and for --help), 1 for warnings only,
// 2 for errors, 3 when the command line or a named folder is wrong.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/text_case.h"
#include "check/check_report.h"
#include "check/package_check.h"
#include "check/seal_check.h"
#include "check/text_encoding.h"
#include "check/what_if.h"
#include "check/windows_versions.h"

namespace {

const int kUsageError = 3;

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: qmxcheck [--json] [--codepage N] [--against SYSDIR --windows NAME [--busy MODULE]...\n"
                 "                [--pending-ours MODULE]... [--pending-other MODULE]... [--store DIR] [--undo]]\n"
                 "                PACKAGE_DIR\n"
                 "DIR is a copy of the target's QMX_UNDO; --undo predicts QMXSET /undo\n"
                 "N is the target's ANSI code page (932 Japanese, 1252 Western, ...; here %u unless told)\n"
                 "NAME is one of:",
                 AnsiCodePage());
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
    std::string against, windowsName, package, store;
    bool undo = false;
    // Installed modules the what-if takes as in use, which a copy of a
    // system folder cannot show.
    std::vector<std::string> busyNames;
    // Installed modules with a restart-time operation pending: our own staged
    // copy (true) or another program's (false), as typed. Against this
    // machine's own system folder its list is read as well.
    std::vector<std::pair<std::string, bool>> pendingTyped;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--busy" && i + 1 < argc) {
            busyNames.push_back(argv[++i]);
        } else if ((arg == "--pending-ours" || arg == "--pending-other") && i + 1 < argc) {
            pendingTyped.emplace_back(argv[++i], arg == "--pending-ours");
        } else if (arg == "--codepage" && i + 1 < argc) {
            // Before any name is read: the target's code page decides how
            // each is split, upper-cased and found.
            const std::string number = argv[++i];
            const unsigned long codePage = std::strtoul(number.c_str(), nullptr, 10);
            if (number.find_first_not_of("0123456789") != std::string::npos || !UseAnsiCodePage(codePage)) {
                return Usage(("code page " + number + " cannot be assumed here (this Windows reads names in " +
                              std::to_string(AnsiCodePage()) + ")")
                                 .c_str());
            }
        } else if (arg == "--store" && i + 1 < argc) {
            store = argv[++i];
        } else if (arg == "--undo") {
            undo = true;
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
    if ((undo || !store.empty()) && against.empty()) return Usage("--store and --undo need --against");
    if (!store.empty() && !FolderExists(store)) return Usage(("no folder " + store).c_str());
    if (!FolderExists(package)) return Usage(("no folder " + package).c_str());
    if (seal) return RunSealCommand(package);
    const WindowsVersion* windows = nullptr;
    if (!windowsName.empty()) {
        windows = FindWindows(windowsName);
        if (windows == nullptr) return Usage(("unknown Windows version " + windowsName).c_str());
        if (!FolderExists(against)) return Usage(("no folder " + against).c_str());
    }

    // Names typed here, in the target's code page and upper-cased as the run
    // holds them, once the code page is known.
    std::set<std::string> busy;
    std::vector<std::pair<std::string, bool>> pendingNames;
    for (size_t i = 0; i < busyNames.size() + pendingTyped.size(); ++i) {
        const bool isBusy = i < busyNames.size();
        const std::string& typed = isBusy ? busyNames[i] : pendingTyped[i - busyNames.size()].first;
        std::string name;
        if (!LocalTextToPackageText(typed, &name)) {
            return Usage((typed + " has no form in code page " + std::to_string(AnsiCodePage())).c_str());
        }
        UpperCaseAnsi(name);
        if (isBusy) {
            busy.insert(name);
        } else {
            pendingNames.emplace_back(name, pendingTyped[i - busyNames.size()].second);
        }
    }
    const PackageReport report = CheckPackage(package);
    WhatIfResult whatIf;
    if (windows != nullptr) {
        PendingFacts pending = PendingOnTarget(against, *windows);
        for (const auto& name : pendingNames) AddPendingFact(&pending, against, name.first, name.second);
        whatIf = RunWhatIf(package, against, *windows, busy, pending, store, undo);
    }
    const WhatIfResult* shown = windows != nullptr ? &whatIf : nullptr;
    const std::string text = json ? JsonReport(report, shown, windows) : TextReport(report, shown, windows);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return CheckExitStatus(report);
}
