#include "engine/outcome.h"

MessageIds MessageIdsForLanguage(int language) {
    if (language == QMX_LANG_ENGLISH) {
        return {IDS_DONE_EN,           IDS_REBOOT_EN, IDS_NOT_ADMIN_EN,
                IDS_NOT_APPLICABLE_EN, IDS_FAILED_EN, IDS_FAILED_REBOOT_EN};
    }
    return {IDS_DONE_JA,           IDS_REBOOT_JA, IDS_NOT_ADMIN_JA,
            IDS_NOT_APPLICABLE_JA, IDS_FAILED_JA, IDS_FAILED_REBOOT_JA};
}

uint32_t ChooseMessageId(uint32_t outcome, const MessageIds& ids) {
    if (outcome & QMX_INST_NOT_ADMIN) return ids.notAdminMsgId;
    if (outcome & QMX_INST_FAILED) {
        return (outcome & QMX_INST_ON_REBOOT) ? ids.failedRebootMsgId : ids.failedMsgId;
    }
    if (outcome & QMX_INST_ON_REBOOT) return ids.rebootMsgId;
    if (outcome & QMX_INST_COPIED) return ids.doneMsgId;
    return ids.notApplicableMsgId;
}

int QuietExitCode(uint32_t outcome, int notTargeted) {
    if (outcome & QMX_INST_NOT_ADMIN) return QMX_EXIT_ELEVATION_REQUIRED;
    if (outcome & QMX_INST_FAILED) return QMX_EXIT_INSTALL_FAILURE;
    if (outcome & QMX_INST_NOT_APPLICABLE) {
        return notTargeted == 1 ? QMX_EXIT_PLATFORM_UNSUPPORTED : QMX_EXIT_PACKAGE_INVALID;
    }
    if (outcome & QMX_INST_ON_REBOOT) return QMX_EXIT_REBOOT_REQUIRED;
    return QMX_EXIT_SUCCESS;
}
