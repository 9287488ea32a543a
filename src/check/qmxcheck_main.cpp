// qmxcheck [--json] [--codepage N] [--against SYSDIR --windows NAME [--busy MODULE]...
//           [--pending-ours MODULE]... [--pending-other MODULE]... [--store DIR] [--undo]] PACKAGE_DIR
// qmxcheck --seal [--signer CERT.pem --key KEY.pem | --signer BUNDLE.p12] [--password-file FILE] PACKAGE_DIR
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
                 "       qmxcheck --seal [--signer CERT.pem --key KEY.pem | --signer BUNDLE.p12]\n"
                 "                [--password-file FILE] PACKAGE_DIR\n"
                 "--seal writes the package's seal, QMX_CHG.SUM, and prints it; --signer signs it too\n"
                 "(QMX_CHG.SUM.p7s) with the RSA certificate QMXSET.EXE is signed with\n"
                 "DIR is a copy of the target's QMX_UNDO; --undo predicts QMXSET /undo\n"
                 "N is the target's ANSI code page (932 Japanese, 1252 Western, ...; here %u unless told)\n"
                 "NAME is one of:",
                 AnsiCodePage());
    for (const WindowsVersion& w : KnownWindows()) std::fprintf(out, " %s", w.name);
    std::fprintf(out,
                 "\nexit status: 0 clean, 1 warnings only, 2 errors, 3 a wrong command line or "
                 "folder\n");
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "qmxcheck: %s\n", problem.c_str());
    PrintUsage(stderr);
    return kUsageError;
}

struct Options {
    bool help = false;
    bool json = false;
    bool seal = false;
    bool undo = false;
    std::string against, windowsName, package, store;
    SealSignerFiles signer;
    // Installed modules the what-if takes as in use, which a copy of a
    // system folder cannot show.
    std::vector<std::string> busy;
    // Installed modules with a restart-time operation pending: our own staged
    // copy (true) or another program's (false), as typed. Against this
    // machine's own system folder its list is read as well.
    std::vector<std::pair<std::string, bool>> pending;
};

// Before any name is read: the target's code page decides how each is
// split, upper-cased and found.
bool AssumeCodePage(const std::string& number, std::string* problem) {
    const unsigned long codePage = std::strtoul(number.c_str(), nullptr, 10);
    if (number.find_first_not_of("0123456789") == std::string::npos && UseAnsiCodePage(codePage)) return true;
    *problem = "code page " + number + " cannot be assumed here (this Windows reads names in " +
               std::to_string(AnsiCodePage()) + ")";
    return false;
}

// The option or folder at argv[*i], and its value (*i moved past it), into
// options: false with the problem when it is wrong.
bool ParseArgument(int argc, char** argv, int* i, Options* options, std::string* problem) {
    const std::string arg = argv[*i];
    const bool valued = *i + 1 < argc;
    if (arg == "--help" || arg == "-h" || arg == "/?") {
        options->help = true;
    } else if (arg == "--json") {
        options->json = true;
    } else if (arg == "--busy" && valued) {
        options->busy.push_back(argv[++*i]);
    } else if ((arg == "--pending-ours" || arg == "--pending-other") && valued) {
        options->pending.emplace_back(argv[++*i], arg == "--pending-ours");
    } else if (arg == "--codepage" && valued) {
        return AssumeCodePage(argv[++*i], problem);
    } else if (arg == "--store" && valued) {
        options->store = argv[++*i];
    } else if (arg == "--undo") {
        options->undo = true;
    } else if (arg == "--seal") {
        options->seal = true;
    } else if ((arg == "--signer" || arg == "--key" || arg == "--password-file") && valued) {
        SealSignerFiles& signer = options->signer;
        (arg == "--signer" ? signer.certificate : arg == "--key" ? signer.key : signer.passwordFile) = argv[++*i];
    } else if ((arg == "--against" || arg == "--windows") && valued) {
        (arg == "--against" ? options->against : options->windowsName) = argv[++*i];
    } else if (!arg.empty() && arg[0] == '-') {
        *problem = "unknown option " + arg;
        return false;
    } else if (options->package.empty()) {
        options->package = arg;
    } else {
        *problem = "more than one package folder";
        return false;
    }
    return true;
}

// The command line into options, up to a help switch: false with the
// problem when it is wrong.
bool ParseOptions(int argc, char** argv, Options* options, std::string* problem) {
    for (int i = 1; i < argc && !options->help; ++i) {
        if (!ParseArgument(argc, argv, &i, options, problem)) return false;
    }
    return true;
}

// What is wrong with the options and the package's folders; "" for nothing.
std::string PackageProblem(const Options& options) {
    if (options.package.empty()) return "no package folder";
    if (options.against.empty() != options.windowsName.empty()) return "--against and --windows go together";
    if ((options.undo || !options.store.empty()) && options.against.empty()) {
        return "--store and --undo need --against";
    }
    const SealSignerFiles& signer = options.signer;
    if ((!signer.key.empty() || !signer.passwordFile.empty()) && signer.certificate.empty()) {
        return "--key and --password-file need --signer";
    }
    if (!signer.certificate.empty() && !options.seal) return "--signer needs --seal";
    if (!options.store.empty() && !FolderExists(options.store)) return "no folder " + options.store;
    if (!FolderExists(options.package)) return "no folder " + options.package;
    return "";
}

// The Windows the what-if runs for, nullptr for none; false with the problem
// for a name it does not know, or a system folder that is not there.
bool FindTarget(const Options& options, const WindowsVersion** windows, std::string* problem) {
    *windows = nullptr;
    if (options.windowsName.empty()) return true;
    *windows = FindWindows(options.windowsName);
    if (*windows == nullptr) {
        *problem = "unknown Windows version " + options.windowsName;
    } else if (!FolderExists(options.against)) {
        *problem = "no folder " + options.against;
    }
    return problem->empty();
}

// A name typed here, in the target's code page and upper-cased as the run
// holds it, once the code page is known: false with the problem when it has
// no form there.
bool TargetName(const std::string& typed, std::string* name, std::string* problem) {
    if (!LocalTextToPackageText(typed, name)) {
        *problem = typed + " has no form in code page " + std::to_string(AnsiCodePage());
        return false;
    }
    UpperCaseAnsi(*name);
    return true;
}

// The report, with the what-if's prediction when the options name a
// target; the exit status.
int RunCheck(const Options& options) {
    const WindowsVersion* windows = nullptr;
    std::string problem, name;
    if (!FindTarget(options, &windows, &problem)) return Usage(problem);
    std::set<std::string> busy;
    for (const std::string& typed : options.busy) {
        if (!TargetName(typed, &name, &problem)) return Usage(problem);
        busy.insert(name);
    }
    std::vector<std::pair<std::string, bool>> pendingNames;
    for (const auto& typed : options.pending) {
        if (!TargetName(typed.first, &name, &problem)) return Usage(problem);
        pendingNames.emplace_back(name, typed.second);
    }
    const PackageReport report = CheckPackage(options.package);
    WhatIfResult whatIf;
    if (windows != nullptr) {
        PendingFacts pending = PendingOnTarget(options.against, *windows);
        for (const auto& pair : pendingNames) AddPendingFact(&pending, options.against, pair.first, pair.second);
        whatIf = RunWhatIf(options.package, options.against, *windows, busy, pending, options.store, options.undo);
    }
    const WhatIfResult* shown = windows != nullptr ? &whatIf : nullptr;
    const std::string text =
        options.json ? JsonReport(report, shown, windows) : TextReport(report, shown, windows);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return CheckExitStatus(report);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string problem;
    if (!ParseOptions(argc, argv, &options, &problem)) return Usage(problem);
    if (options.help) {
        PrintUsage(stdout);
        return 0;
    }
    problem = PackageProblem(options);
    if (!problem.empty()) return Usage(problem);
    if (options.seal) return RunSealCommand(options.package, options.signer);
    return RunCheck(options);
}
