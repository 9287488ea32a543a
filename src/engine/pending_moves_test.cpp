#include "engine/pending_moves.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kFrom = "C:\\WINDOWS\\SYSTEM32\\X.DLM";
const std::string kTo = "C:\\WINDOWS\\SYSTEM32\\X.DLL";

// A REG_MULTI_SZ value from its names, with the closing empty name.
std::string List(std::initializer_list<std::string> names) {
    std::string bytes;
    for (const std::string& name : names) bytes += name + '\0';
    return bytes + '\0';
}

}  // namespace

TEST(PendingMovesHold, FindsTheReplacingMoveAmongOthers) {
    const std::string list = List({"\\??\\C:\\A.TMP", "", "\\??\\C:\\B.NEW", "!\\??\\C:\\B.DLL",
                                   "\\??\\" + kFrom, "!\\??\\" + kTo});
    EXPECT_TRUE(PendingMovesHold(list, kFrom, kTo));
    // Without the closing empty name, as a value cut to its data may come.
    EXPECT_TRUE(PendingMovesHold(list.substr(0, list.size() - 2), kFrom, kTo));
}

TEST(PendingMovesHold, OnlyTheSamePairReplacingCounts) {
    // Reversed, another target, a deletion, and a move that would not
    // replace the existing module: none schedules this update.
    const std::string list =
        List({"\\??\\" + kTo, "!\\??\\" + kFrom, "\\??\\" + kFrom, "!\\??\\C:\\OTHER.DLL",
              "\\??\\" + kFrom, "", "\\??\\" + kFrom, "\\??\\" + kTo});
    EXPECT_FALSE(PendingMovesHold(list, kFrom, kTo));
    // The text must match exactly, case included: a miss costs a harmless
    // duplicate, a false match would lose the update.
    EXPECT_FALSE(PendingMovesHold(List({"\\??\\c:\\windows\\system32\\x.dlm",
                                        "!\\??\\c:\\windows\\system32\\x.dll"}),
                                  kFrom, kTo));
}

TEST(PendingMovesHold, EmptyAndDamagedListsHoldNothing) {
    EXPECT_FALSE(PendingMovesHold("", kFrom, kTo));
    EXPECT_FALSE(PendingMovesHold(std::string(1, '\0'), kFrom, kTo));
    // A pair after the closing empty name is not part of the list.
    EXPECT_FALSE(PendingMovesHold(List({}) + "\\??\\" + kFrom + '\0' + "!\\??\\" + kTo + '\0',
                                  kFrom, kTo));
    // A source with no target at all.
    EXPECT_FALSE(PendingMovesHold("\\??\\" + kFrom, kFrom, kTo));
    EXPECT_FALSE(PendingMovesHold("\\??\\" + kFrom + '\0', kFrom, kTo));
}
