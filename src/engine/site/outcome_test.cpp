#include "engine/site/outcome.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Case {
    uint32_t outcome;
    int notTargeted;
    int brokenPackage;
    OutcomeMessage message;
    int exitCode;
    int otherMachine = 0;
};

// The message and the quiet exit code must tell the same story: a failure is
// never shown as success, and a broken package never as "complete".
const std::vector<Case> kCases = {
    {0x01, 0, 0, OutcomeMessage::kDone, 0},
    {0x03, 0, 0, OutcomeMessage::kDone, 0},
    {0x02, 0, 0, OutcomeMessage::kNotApplicable, 0},
    {0x04, 0, 0, OutcomeMessage::kReboot, 3010},
    {0x07, 0, 0, OutcomeMessage::kReboot, 3010},
    {0x08, 0, 0, OutcomeMessage::kNotApplicable, 1620},  // no list, no [File] entry
    {0x08, 1, 0, OutcomeMessage::kNotApplicable, 1633},  // other Windows targeted
    {0x08, 0, 0, OutcomeMessage::kNotApplicable, 1633, 1},  // a module for another machine
    {0x08, 0, 1, OutcomeMessage::kFailed, 1620},         // only missing modules
    {0x09, 0, 1, OutcomeMessage::kFailed, 1620},         // one replaced, one missing
    {0x0A, 0, 1, OutcomeMessage::kFailed, 1620},
    {0x0C, 0, 1, OutcomeMessage::kFailedReboot, 1620},   // staged, and a refused name
    {0x0D, 0, 1, OutcomeMessage::kFailedReboot, 1620},
    {0x10, 0, 0, OutcomeMessage::kNotAdmin, 740},
    {0x80, 0, 0, OutcomeMessage::kFailed, 1603},
    {0x81, 0, 0, OutcomeMessage::kFailed, 1603},
    {0x84, 0, 0, OutcomeMessage::kFailedReboot, 1603},
    {0x88, 0, 1, OutcomeMessage::kFailed, 1603},
    {0x8C, 0, 1, OutcomeMessage::kFailedReboot, 1603},
    {0x00, 0, 0, OutcomeMessage::kNotApplicable, 0},
    // Another program's restart-time operation on a module: restart, then
    // run again; never "complete", never 0 or 3010.
    {0x40, 0, 0, OutcomeMessage::kFailedReboot, 3017},
    {0x43, 0, 0, OutcomeMessage::kFailedReboot, 3017},
    {0x44, 0, 0, OutcomeMessage::kFailedReboot, 3017},
    {0x48, 0, 1, OutcomeMessage::kFailedReboot, 3017},
    {0xC1, 0, 0, OutcomeMessage::kFailedReboot, 1603},
};

// An undo reports with its own texts and the installation's exit codes.
const std::vector<Case> kUndoCases = {
    {0x01, 0, 0, OutcomeMessage::kUndone, 0},
    {0x03, 0, 0, OutcomeMessage::kUndone, 0},
    {0x05, 0, 0, OutcomeMessage::kUndoneReboot, 3010},
    {0x02, 0, 0, OutcomeMessage::kNothingToUndo, 0},
    {0x81, 0, 0, OutcomeMessage::kUndoFailed, 1603},
    {0x84, 0, 0, OutcomeMessage::kUndoFailed, 1603},
    {0x09, 0, 1, OutcomeMessage::kUndoFailed, 1620},     // a module the package lacks
    {0x08, 1, 0, OutcomeMessage::kNotApplicable, 1633},  // other Windows targeted
    {0x08, 0, 0, OutcomeMessage::kNotApplicable, 1633, 1},  // a kept copy for another machine
    {0x08, 0, 0, OutcomeMessage::kNotApplicable, 1620},
    {0x10, 0, 0, OutcomeMessage::kNotAdmin, 740},
};

TEST(Outcome, MessageAndExitCodeAgree) {
    for (const int undo : {0, 1}) {
        for (const Case& c : undo ? kUndoCases : kCases) {
            RunResult result;
            result.undo = undo;
            result.outcome = c.outcome;
            result.notTargeted = c.notTargeted;
            result.brokenPackage = c.brokenPackage;
            result.otherMachine = c.otherMachine;
            EXPECT_EQ(c.message, ChooseMessage(result)) << undo << std::hex << " " << c.outcome;
            EXPECT_EQ(c.exitCode, QuietExitCode(result)) << undo << std::hex << " " << c.outcome;
        }
    }
}

}  // namespace
