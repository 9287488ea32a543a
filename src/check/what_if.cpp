#include "check/what_if.h"

#include "check/folder_model.h"
#include "engine/restart/letter_shift.h"
#include "engine/restart/pending_operations.h"
#include "engine/run/installation_run.h"
#include "platform/ansi_text.h"
#include "platform/text_case.h"

const char* DecisionText(ModuleAction action, bool undo) {
    if (undo) {
        switch (action) {
        case ModuleAction::kReplace: return "restore the kept copy";
        case ModuleAction::kStage: return "restore at the restart: in use";
        case ModuleAction::kKeep: return "nothing to undo";
        case ModuleAction::kMissing: return "missing from the package";
        case ModuleAction::kRefused: return "refused: not a plain file name";
        default: return "cannot restore";
        }
    }
    switch (action) {
    case ModuleAction::kReplace: return "replace (unless Windows protects it)";
    case ModuleAction::kStage: return "stage for the restart: in use";
    case ModuleAction::kStagePending: return "stage for the restart: our replacement already waits for it";
    case ModuleAction::kRestartFirst: return "restart first: an operation on it waits for the restart";
    case ModuleAction::kKeep: return "keep the newer or equal copy";
    case ModuleAction::kNotInstalled: return "not installed";
    case ModuleAction::kMissing: return "missing from the package";
    case ModuleAction::kRefused: return "refused: not a plain file name";
    case ModuleAction::kProtected: return "protected by Windows";
    case ModuleAction::kFailed: return "failed";
    }
    return "";
}

void AddPendingFact(PendingFacts* facts, const std::string& systemFolder, const std::string& name, bool ours) {
    // As the delayed move writes them, which is what the list's reader reads.
    const std::string dest = "\\??\\" + JoinPath(systemFolder, name);
    facts->moves += ours ? ShiftLastLetterOf(dest, 0) + '\0' + "!" + dest + '\0' : dest + '\0' + '\0';
}

PendingFacts PendingOnTarget(const std::string& systemFolder, const WindowsVersion& windows) {
    PendingFacts facts;
#if defined(_WIN32)
    if (IsSystemFolder(systemFolder)) {
        facts.onTarget = true;
        facts.wininit =
            ClassifyWindows(windows.platformId, windows.majorVersion, windows.minorVersion) == QMX_OS_WIN9X;
    }
#else
    (void)systemFolder;
    (void)windows;
#endif
    return facts;
}

WhatIfResult RunWhatIf(const std::string& packageFolder, const std::string& systemFolder,
                       const WindowsVersion& windows, const std::set<std::string>& busy,
                       const PendingFacts& pending, const std::string& storeFolder, bool undo) {
    const std::string changeList = JoinPath(packageFolder, kChangeListName, kLocalSeparator);
    Machine machine;
    machine.platformId = windows.platformId;
    machine.majorVersion = windows.majorVersion;
    machine.minorVersion = windows.minorVersion;
    machine.osClass = ClassifyWindows(windows.platformId, windows.majorVersion, windows.minorVersion);
    machine.isAdmin = 1;
    machine.systemDir = FolderModel::kSystemRoot;
    machine.programDir = FolderModel::kPackageRoot;

    FolderModel model(packageFolder, systemFolder, busy, pending, storeFolder, undo);
    InstallationRun run(machine, model, changeList);
    WhatIfResult result;
    result.undo = undo;
    const RunResult outcome = run.Run(undo);
    result.modules = model.TakeDecisions();
    result.sealFault = model.SealFault();
    result.otherMachine = model.TakeMisfits();
    result.outcome = outcome.outcome;
    result.message = ChooseMessage(outcome);
    result.quietExitCode = QuietExitCode(outcome);
    result.targeted = outcome.targeted == 1;
    result.codePage = AnsiCodePage();
    return result;
}
