// Outcome bits of one file and of a whole run, and the choice of the one
// message that reports a run. Free of Win32 so it builds everywhere.
#pragma once

#include <cstdint>

enum : uint32_t {
    QMX_INST_COPIED = 0x01,          // the file was replaced now
    QMX_INST_SKIPPED = 0x02,         // not installed, or installed copy as new or newer
    QMX_INST_ON_REBOOT = 0x04,       // a staged copy replaces the file at the next restart
    QMX_INST_NOT_APPLICABLE = 0x08,  // not targeted, no file listed, or shipped file missing
    QMX_INST_NOT_ADMIN = 0x10,       // the user may not install
    QMX_INST_FAILED = 0x80,          // a copy or a restart-scheduling step failed
};

enum : int {
    QMX_LANG_JAPANESE = 0,
    QMX_LANG_ENGLISH = 1,
};

// String-table ids of the four outcome messages.
enum : uint32_t {
    IDS_ABOUT_MENU = 101,
    IDS_DONE_JA = 102,
    IDS_REBOOT_JA = 103,
    IDS_NOT_ADMIN_JA = 104,
    IDS_NOT_APPLICABLE_JA = 105,
    IDS_DONE_EN = 106,
    IDS_REBOOT_EN = 107,
    IDS_NOT_ADMIN_EN = 108,
    IDS_NOT_APPLICABLE_EN = 109,
};

struct MessageIds {
    uint32_t doneMsgId;
    uint32_t rebootMsgId;
    uint32_t notAdminMsgId;
    uint32_t notApplicableMsgId;
};

// The English ids for QMX_LANG_ENGLISH, the Japanese ids for anything else.
MessageIds MessageIdsForLanguage(int language);

// The message for a run's outcome bits: not-admin wins, then restart, then
// done; everything else (0x02, 0x08, 0x80 alone or together, 0) reads as
// not applicable.
uint32_t ChooseMessageId(uint32_t outcome, const MessageIds& ids);
