#include "ui/outcome_strings.h"

#include "log/debug_log.h"
#include "platform/resource_string.h"
#include "ui/res/resource.h"

UINT OutcomeStringId(OutcomeMessage message, int language) {
    const bool english = language == QMX_LANG_ENGLISH;
    switch (message) {
    case OutcomeMessage::kDone: return english ? IDS_DONE_EN : IDS_DONE_JA;
    case OutcomeMessage::kReboot: return english ? IDS_REBOOT_EN : IDS_REBOOT_JA;
    case OutcomeMessage::kNotAdmin: return english ? IDS_NOT_ADMIN_EN : IDS_NOT_ADMIN_JA;
    case OutcomeMessage::kNotApplicable: return english ? IDS_NOT_APPLICABLE_EN : IDS_NOT_APPLICABLE_JA;
    case OutcomeMessage::kFailed: return english ? IDS_FAILED_EN : IDS_FAILED_JA;
    case OutcomeMessage::kFailedReboot: return english ? IDS_FAILED_REBOOT_EN : IDS_FAILED_REBOOT_JA;
    case OutcomeMessage::kUndone: return english ? IDS_UNDONE_EN : IDS_UNDONE_JA;
    case OutcomeMessage::kUndoneReboot: return english ? IDS_UNDONE_REBOOT_EN : IDS_UNDONE_REBOOT_JA;
    case OutcomeMessage::kNothingToUndo: return english ? IDS_NOTHING_TO_UNDO_EN : IDS_NOTHING_TO_UNDO_JA;
    case OutcomeMessage::kUndoFailed: return english ? IDS_UNDO_FAILED_EN : IDS_UNDO_FAILED_JA;
    }
    return english ? IDS_NOT_APPLICABLE_EN : IDS_NOT_APPLICABLE_JA;
}

UINT ChooseAndLogMessage(const RunResult& result, int language, HINSTANCE resources) {
    const UINT id = OutcomeStringId(ChooseMessage(result), language);
    DebugLog("EngingMessage[0x%x] - %s\r\n", result.outcome,
             LoadResourceString(ResourceModule(resources), id).c_str());
    return id;
}
