#include "engine/restart/letter_shift.h"

#include <gtest/gtest.h>

#include <string>

TEST(ShiftLastLetterOf, MovesOnlyTheLastLetterOneStepKeepingCase) {
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM32\\X.DLM", ShiftLastLetterOf("C:\\WINDOWS\\SYSTEM32\\X.DLL", 0));
    EXPECT_EQ("C:\\WINDOWS\\SYSTEM32\\X.DLL", ShiftLastLetterOf("C:\\WINDOWS\\SYSTEM32\\X.DLM", 1));
    EXPECT_EQ("drv.syt", ShiftLastLetterOf("drv.sys", 0));
    EXPECT_EQ("drv.syr", ShiftLastLetterOf("drv.sys", 1));
}

TEST(ShiftLastLetterOf, WrapsAtBothEndsOfTheAlphabetInBothCases) {
    EXPECT_EQ("a.b", ShiftLastLetterOf("a.a", 0));
    EXPECT_EQ("a.z", ShiftLastLetterOf("a.a", 1));
    EXPECT_EQ("a.a", ShiftLastLetterOf("a.z", 0));
    EXPECT_EQ("a.y", ShiftLastLetterOf("a.z", 1));
    EXPECT_EQ("A.B", ShiftLastLetterOf("A.A", 0));
    EXPECT_EQ("A.Z", ShiftLastLetterOf("A.A", 1));
    EXPECT_EQ("A.A", ShiftLastLetterOf("A.Z", 0));
    EXPECT_EQ("A.Y", ShiftLastLetterOf("A.Z", 1));
}

TEST(ShiftLastLetterOf, LeavesEverythingButAsciiLettersAlone) {
    // The neighbours of each letter range, digits, '_', '\' and the bytes of
    // the upper half (a Shift-JIS trail byte among them).
    for (const char c : {'0', '9', '_', '\\', '@', '[', '`', '{', '.', ' ', '\x80', '\x81',
                         '\xC0', '\xE1', '\xFA', '\xFF'}) {
        const std::string path = std::string("MODULE") + c;
        EXPECT_EQ(path, ShiftLastLetterOf(path, 0)) << static_cast<int>(c);
        EXPECT_EQ(path, ShiftLastLetterOf(path, 1)) << static_cast<int>(c);
    }
    EXPECT_EQ("", ShiftLastLetterOf("", 0));
    EXPECT_EQ("", ShiftLastLetterOf("", 1));
}

TEST(ShiftLastLetterOf, AnyNonZeroMeansBackward) {
    EXPECT_EQ("X.DLK", ShiftLastLetterOf("X.DLL", -1));
    EXPECT_EQ("X.DLK", ShiftLastLetterOf("X.DLL", 7));
}

TEST(ShiftLastLetterOf, ForwardThenBackRestoresEveryLetter) {
    for (int c = 0; c < 256; ++c) {
        const std::string path = std::string("F.") + static_cast<char>(c);
        EXPECT_EQ(path, ShiftLastLetterOf(ShiftLastLetterOf(path, 0), 1)) << c;
        EXPECT_EQ(path, ShiftLastLetterOf(ShiftLastLetterOf(path, 1), 0)) << c;
    }
}
