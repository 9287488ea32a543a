// Outcome bits of one file and of a whole run, the choice of the one message
// that reports a run, and the exit code that reports a quiet one. Free of
// Win32 so it builds everywhere.
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

// String-table ids of the outcome messages and the usage text.
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
    IDS_FAILED_JA = 110,
    IDS_FAILED_REBOOT_JA = 111,
    IDS_FAILED_EN = 112,
    IDS_FAILED_REBOOT_EN = 113,
    IDS_USAGE_JA = 114,
    IDS_USAGE_EN = 115,
};

struct MessageIds {
    uint32_t doneMsgId;
    uint32_t rebootMsgId;
    uint32_t notAdminMsgId;
    uint32_t notApplicableMsgId;
    uint32_t failedMsgId;        // a file failed
    uint32_t failedRebootMsgId;  // a file failed, another waits for the restart
};

// The English ids for QMX_LANG_ENGLISH, the Japanese ids for anything else.
MessageIds MessageIdsForLanguage(int language);

// The message for a run's outcome bits: not-admin wins, then failure (with
// the restart request when a file also waits for the restart), then restart,
// then done; everything else (0x02, 0x08 alone or together, 0) reads as not
// applicable. A failure is never reported as success.
uint32_t ChooseMessageId(uint32_t outcome, const MessageIds& ids);

// Exit codes of a quiet run, the Windows error codes deployment tools know.
enum : int {
    QMX_EXIT_SUCCESS = 0,
    QMX_EXIT_INVALID_PARAMETER = 87,          // ERROR_INVALID_PARAMETER
    QMX_EXIT_ELEVATION_REQUIRED = 740,        // ERROR_ELEVATION_REQUIRED
    QMX_EXIT_INSTALL_FAILURE = 1603,          // ERROR_INSTALL_FAILURE
    QMX_EXIT_ALREADY_RUNNING = 1618,          // ERROR_INSTALL_ALREADY_RUNNING
    QMX_EXIT_PACKAGE_INVALID = 1620,          // ERROR_INSTALL_PACKAGE_INVALID
    QMX_EXIT_PLATFORM_UNSUPPORTED = 1633,     // ERROR_INSTALL_PLATFORM_UNSUPPORTED
    QMX_EXIT_REBOOT_REQUIRED = 3010,          // ERROR_SUCCESS_REBOOT_REQUIRED
};

// The exit code for a run's outcome bits, the first that applies: 0x10 gives
// 740, 0x80 1603, 0x08 1620 (a broken package) or, when notTargeted is 1,
// 1633, 0x04 3010, anything else 0. notTargeted says that the change list was
// read and its [Install] entry names other Windows versions only; every other
// way to 0x08 (no change list, an unreadable one, no [File] entry, a listed
// module missing from the package) is a broken package.
int QuietExitCode(uint32_t outcome, int notTargeted);
