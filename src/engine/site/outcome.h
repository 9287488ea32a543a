// Outcome bits of one file and of a whole run, the one message that reports
// a run and the exit code that reports a quiet one. Free of Win32.
#pragma once

#include <cstdint>

enum : uint32_t {
    QMX_INST_COPIED = 0x01,          // the file was replaced now
    QMX_INST_SKIPPED = 0x02,         // not installed, or installed copy as new or newer
    QMX_INST_ON_REBOOT = 0x04,       // a staged copy replaces the file at the next restart
    QMX_INST_NOT_APPLICABLE = 0x08,  // not targeted, no file listed, another machine's, or a broken package
    QMX_INST_NOT_ADMIN = 0x10,       // the user may not install
    QMX_INST_RESTART_FIRST = 0x40,   // another program's restart-time operation is on the file
    QMX_INST_FAILED = 0x80,          // a copy or a restart-scheduling step failed
};

// A run's outcome and where a 0x08 in it came from.
struct RunResult {
    uint32_t outcome = 0;
    // The change list's [Install] entry targets this machine.
    int targeted = 0;
    // The change list was read and its [Install] entry names other Windows
    // versions only.
    int notTargeted = 0;
    // The package itself is broken: a listed module it lacks, a refused name
    // or a seal that fails, found once the change list applied.
    int brokenPackage = 0;
    // A listed module is for another machine than the installed copy's:
    // nothing was touched.
    int otherMachine = 0;
    // The run put kept copies back (/undo) instead of installing.
    int undo = 0;
};

// The outcome messages; the user interface holds their texts.
enum class OutcomeMessage {
    kDone,
    kReboot,
    kNotAdmin,
    kNotApplicable,
    kFailed,        // a file failed, or the package is broken
    kFailedReboot,  // as kFailed, and another file waits for the restart
    // An undo's: kept copies put back now, or at the restart; none to put
    // back; a kept copy could not be put back, or the package is broken.
    kUndone,
    kUndoneReboot,
    kNothingToUndo,
    kUndoFailed,
};

// Not-admin wins, then failure (0x80, or a broken package's 0x08; with the
// restart request when a file also waits for the restart, or must wait for
// one before it can be installed: 0x40), then restart,
// then done; everything else reads as not applicable. A failure is never
// reported as success. An undo's messages follow the same order: not-admin,
// not applicable when the change list targets other Windows, failure,
// restart, done, and nothing to undo for the rest.
OutcomeMessage ChooseMessage(const RunResult& result);

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
    QMX_EXIT_FAIL_REBOOT_REQUIRED = 3017,     // ERROR_FAIL_REBOOT_REQUIRED
};

// The first that applies: 0x10 gives 740, 0x80 1603, 0x40 3017 (restart,
// then run again), 0x08 1620 (a broken package) or 1633 when the change list
// targets other Windows only or a module is for another machine, 0x04 3010,
// anything else 0.
int QuietExitCode(const RunResult& result);
