#include "engine/outcome.h"

MessageIds MessageIdsForLanguage(int language) {
    if (language == QMX_LANG_ENGLISH) {
        return {IDS_DONE_EN, IDS_REBOOT_EN, IDS_NOT_ADMIN_EN, IDS_NOT_APPLICABLE_EN};
    }
    return {IDS_DONE_JA, IDS_REBOOT_JA, IDS_NOT_ADMIN_JA, IDS_NOT_APPLICABLE_JA};
}

uint32_t ChooseMessageId(uint32_t outcome, const MessageIds& ids) {
    if (outcome & QMX_INST_NOT_ADMIN) return ids.notAdminMsgId;
    if (outcome & QMX_INST_ON_REBOOT) return ids.rebootMsgId;
    if (outcome & QMX_INST_COPIED) return ids.doneMsgId;
    return ids.notApplicableMsgId;
}
