#include "engine/outcome.h"

#include <gtest/gtest.h>

namespace {

// done, reboot, not admin, not applicable, failed, failed with a restart
const MessageIds kIds = {1, 2, 3, 4, 5, 6};

}  // namespace

TEST(ChooseMessageId, RestartOutranksDone) {
    EXPECT_EQ(kIds.rebootMsgId, ChooseMessageId(QMX_INST_COPIED | QMX_INST_ON_REBOOT, kIds));
    EXPECT_EQ(kIds.rebootMsgId, ChooseMessageId(QMX_INST_ON_REBOOT | QMX_INST_SKIPPED, kIds));
}

TEST(ChooseMessageId, AFailureIsNeverReportedAsSuccess) {
    // Failed alone, beside a copy, a skip or a missing shipped file.
    for (uint32_t outcome : {0x80u, 0x81u, 0x82u, 0x83u, 0x88u, 0x8Bu}) {
        EXPECT_EQ(kIds.failedMsgId, ChooseMessageId(outcome, kIds)) << outcome;
    }
    // Beside a file waiting for the restart, the failure goes on with the
    // restart request.
    for (uint32_t outcome : {0x84u, 0x85u, 0x8Fu}) {
        EXPECT_EQ(kIds.failedRebootMsgId, ChooseMessageId(outcome, kIds)) << outcome;
    }
}

TEST(ChooseMessageId, CopiedBesideSkippedReadsAsDone) {
    EXPECT_EQ(kIds.doneMsgId, ChooseMessageId(QMX_INST_COPIED, kIds));
    EXPECT_EQ(kIds.doneMsgId, ChooseMessageId(QMX_INST_COPIED | QMX_INST_SKIPPED, kIds));
    EXPECT_EQ(kIds.doneMsgId, ChooseMessageId(QMX_INST_COPIED | QMX_INST_NOT_APPLICABLE, kIds));
}

TEST(ChooseMessageId, SkippedMissingOrNothingReadAsNotApplicable) {
    for (uint32_t outcome : {0x02u, 0x08u, 0x0Au, 0x00u}) {
        EXPECT_EQ(kIds.notApplicableMsgId, ChooseMessageId(outcome, kIds)) << outcome;
    }
}

TEST(ChooseMessageId, NotAdminWinsOverEveryOtherBit) {
    for (uint32_t others = 0; others <= 0xFF; ++others) {
        EXPECT_EQ(kIds.notAdminMsgId, ChooseMessageId(others | QMX_INST_NOT_ADMIN, kIds)) << others;
    }
}

TEST(QuietExitCode, TheFirstRowThatAppliesWins) {
    struct Row {
        uint32_t outcome;
        int notTargeted;
        int code;
    };
    const Row rows[] = {
        {0x10, 0, 740},  {0x10, 1, 740},   // not allowed to install, whatever else
        {0x80, 0, 1603}, {0x81, 0, 1603}, {0x84, 0, 1603}, {0x8A, 0, 1603},
        {0x08, 0, 1620},                   // no, unreadable or empty change list
        {0x09, 0, 1620}, {0x0A, 0, 1620},  // a shipped module missing beside others
        {0x0C, 0, 1620},                   // broken outranks the restart
        {0x08, 1, 1633},                   // the change list targets other Windows
        {0x04, 0, 3010}, {0x05, 0, 3010}, {0x06, 0, 3010},
        {0x01, 0, 0},    {0x02, 0, 0},    {0x03, 0, 0},    {0x00, 0, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.code, QuietExitCode(row.outcome, row.notTargeted))
            << std::hex << row.outcome << " notTargeted " << row.notTargeted;
    }
}

TEST(QuietExitCode, NotTargetedCountsOnlyForARunThatEndedNotApplicable) {
    EXPECT_EQ(0, QuietExitCode(QMX_INST_COPIED, 1));
    EXPECT_EQ(3010, QuietExitCode(QMX_INST_ON_REBOOT, 1));
}

TEST(MessageIdsForLanguage, EnglishAndJapaneseStringIds) {
    const MessageIds english = MessageIdsForLanguage(QMX_LANG_ENGLISH);
    EXPECT_EQ(106u, english.doneMsgId);
    EXPECT_EQ(107u, english.rebootMsgId);
    EXPECT_EQ(108u, english.notAdminMsgId);
    EXPECT_EQ(109u, english.notApplicableMsgId);

    const MessageIds japanese = MessageIdsForLanguage(QMX_LANG_JAPANESE);
    EXPECT_EQ(102u, japanese.doneMsgId);
    EXPECT_EQ(103u, japanese.rebootMsgId);
    EXPECT_EQ(104u, japanese.notAdminMsgId);
    EXPECT_EQ(105u, japanese.notApplicableMsgId);
}

TEST(MessageIdsForLanguage, AnUndecidedLanguageGetsTheJapaneseIds) {
    EXPECT_EQ(102u, MessageIdsForLanguage(-1).doneMsgId);
}
