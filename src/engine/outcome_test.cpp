#include "engine/outcome.h"

#include <gtest/gtest.h>

namespace {

const MessageIds kIds = {1, 2, 3, 4};  // done, reboot, not admin, not applicable

}  // namespace

TEST(ChooseMessageId, RestartOutranksDone) {
    EXPECT_EQ(kIds.rebootMsgId, ChooseMessageId(QMX_INST_COPIED | QMX_INST_ON_REBOOT, kIds));
    EXPECT_EQ(kIds.rebootMsgId, ChooseMessageId(QMX_INST_ON_REBOOT | QMX_INST_FAILED, kIds));
}

TEST(ChooseMessageId, AFailureBesideACopyStillReadsAsDone) {
    EXPECT_EQ(kIds.doneMsgId, ChooseMessageId(QMX_INST_COPIED | QMX_INST_FAILED, kIds));
    EXPECT_EQ(kIds.doneMsgId, ChooseMessageId(QMX_INST_COPIED | QMX_INST_SKIPPED, kIds));
}

TEST(ChooseMessageId, SkippedMissingFailedOrNothingReadAsNotApplicable) {
    for (uint32_t outcome : {0x02u, 0x08u, 0x80u, 0x82u, 0x8Au, 0x00u}) {
        EXPECT_EQ(kIds.notApplicableMsgId, ChooseMessageId(outcome, kIds)) << outcome;
    }
}

TEST(ChooseMessageId, NotAdminWinsOverEveryOtherBit) {
    for (uint32_t others = 0; others <= 0xFF; ++others) {
        EXPECT_EQ(kIds.notAdminMsgId, ChooseMessageId(others | QMX_INST_NOT_ADMIN, kIds)) << others;
    }
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
