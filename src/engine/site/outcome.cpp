#include "engine/site/outcome.h"

OutcomeMessage ChooseMessage(const RunResult& result) {
    const uint32_t outcome = result.outcome;
    if (outcome & QMX_INST_NOT_ADMIN) return OutcomeMessage::kNotAdmin;
    const bool broken = (outcome & QMX_INST_NOT_APPLICABLE) && result.brokenPackage == 1;
    if (result.undo == 1 && ((outcome & QMX_INST_NOT_APPLICABLE) == 0 || broken)) {
        if ((outcome & QMX_INST_FAILED) || broken) return OutcomeMessage::kUndoFailed;
        if (outcome & QMX_INST_ON_REBOOT) return OutcomeMessage::kUndoneReboot;
        return (outcome & QMX_INST_COPIED) ? OutcomeMessage::kUndone : OutcomeMessage::kNothingToUndo;
    }
    if ((outcome & (QMX_INST_FAILED | QMX_INST_RESTART_FIRST)) || broken) {
        return (outcome & (QMX_INST_ON_REBOOT | QMX_INST_RESTART_FIRST)) ? OutcomeMessage::kFailedReboot
                                                                         : OutcomeMessage::kFailed;
    }
    if (outcome & QMX_INST_ON_REBOOT) return OutcomeMessage::kReboot;
    if (outcome & QMX_INST_COPIED) return OutcomeMessage::kDone;
    return OutcomeMessage::kNotApplicable;
}

int QuietExitCode(const RunResult& result) {
    const uint32_t outcome = result.outcome;
    if (outcome & QMX_INST_NOT_ADMIN) return QMX_EXIT_ELEVATION_REQUIRED;
    if (outcome & QMX_INST_FAILED) return QMX_EXIT_INSTALL_FAILURE;
    if (outcome & QMX_INST_RESTART_FIRST) return QMX_EXIT_FAIL_REBOOT_REQUIRED;
    if (outcome & QMX_INST_NOT_APPLICABLE) {
        const bool otherPlatform = result.notTargeted == 1 || result.otherMachine == 1;
        return otherPlatform ? QMX_EXIT_PLATFORM_UNSUPPORTED : QMX_EXIT_PACKAGE_INVALID;
    }
    if (outcome & QMX_INST_ON_REBOOT) return QMX_EXIT_REBOOT_REQUIRED;
    return QMX_EXIT_SUCCESS;
}
