#include "changelist/change_list_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/change_list_queries.h"
#include "log/debug_log.h"

namespace {

// Checks run with the log switched on, reading back exactly the bytes that
// would have been appended to the log file.
class Applicability : public ::testing::Test {
protected:
    void SetUp() override {
        NativeLogRecord().clear();
        SetLogSwitch(1);
    }
    void TearDown() override {
        SetLogSwitch(0);
        NativeLogRecord().clear();
    }

    static int Compare(const std::string& pattern, uint32_t platform, uint32_t major,
                       uint32_t minor) {
        ChangeListFile reader;
        return reader.CompVersion(platform, major, minor, pattern);
    }
    static const std::string& Log() { return NativeLogRecord(); }
    static size_t Count(const std::string& what) {
        size_t n = 0;
        for (size_t at = Log().find(what); at != std::string::npos; at = Log().find(what, at + 1)) ++n;
        return n;
    }
};

TEST_F(Applicability, ExampleCheckTracesEveryComparisonByteForByte) {
    EXPECT_EQ(TargetsWith("[Install]\r\n2:5:0, 2:5:1 // supported versions\r\n", 2, 5, 1), 1);
    EXPECT_EQ(Log(),
              "CompVersion(2, 5, 1, 2:5:0)\r\n"
              "Comp Minor Version <0 : 1>\r\n"
              "Comp PlatformID <2 : 2>\r\n"
              "Comp MajorVersion <5 : 5>\r\n"
              "Comp Result = 0\r\n"
              "CompVersion(2, 5, 1, 2:5:1)\r\n"
              "Comp Minor Version <1 : 1>\r\n"
              "Comp PlatformID <2 : 2>\r\n"
              "Comp MajorVersion <5 : 5>\r\n"
              "Comp Result = 1\r\n");
}

TEST_F(Applicability, SwitchedOffLogRecordsNothing) {
    SetLogSwitch(0);
    EXPECT_EQ(TargetsWith("[Install]\n2:5\n", 2, 5, 1), 1);
    EXPECT_EQ(Log(), "");
}

struct PatternCase {
    const char* pattern;
    uint32_t platform, major, minor;
    int expected;
};

class PatternTable : public Applicability, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(PatternTable, MatchesOnlyTheDocumentedVersions) {
    const PatternCase& c = GetParam();
    EXPECT_EQ(TargetsWith(std::string("[Install]\n") + c.pattern + "\n", c.platform, c.major, c.minor),
              c.expected)
        << c.pattern << " on " << c.platform << ":" << c.major << "." << c.minor;
}

INSTANTIATE_TEST_SUITE_P(Patterns, PatternTable, ::testing::Values(
    PatternCase{"2:5", 2, 5, 0, 1}, PatternCase{"2:5", 2, 5, 1, 1}, PatternCase{"2:5", 2, 5, 2, 1},
    PatternCase{"2:5", 1, 5, 0, 0}, PatternCase{"2:5", 2, 6, 0, 0},
    PatternCase{"2:5:1", 2, 5, 1, 1}, PatternCase{"2:5:1", 2, 5, 0, 0},
    PatternCase{"2:5:1", 2, 5, 2, 0},
    PatternCase{"1:4:10", 1, 4, 10, 1}, PatternCase{"1:4:10", 1, 4, 0, 0},
    PatternCase{"1:4:10", 2, 4, 10, 0},
    PatternCase{"2:4, 2:5:0", 2, 4, 3, 1}, PatternCase{"2:4, 2:5:0", 2, 5, 0, 1},
    PatternCase{"2:4, 2:5:0", 2, 5, 1, 0},
    PatternCase{"2:5:", 2, 5, 7, 1}, PatternCase{"2:5:1:", 2, 5, 1, 1},
    PatternCase{"2:5:1::", 2, 5, 1, 1}, PatternCase{"2:5:1:0", 2, 5, 1, 0},
    PatternCase{"2:5.1", 2, 5, 9, 1}, PatternCase{"2 : 5 : 1", 2, 5, 1, 1},
    PatternCase{"\t2\t:05:+1", 2, 5, 1, 1}, PatternCase{"2:5:x", 2, 5, 0, 1},
    PatternCase{"2:5:x", 2, 5, 1, 0}, PatternCase{"2:-1", 2, 0xFFFFFFFFu, 0, 1},
    PatternCase{"2", 2, 0, 3, 1}, PatternCase{"2", 2, 5, 1, 0},
    PatternCase{",", 0, 0, 9, 1}, PatternCase{",", 2, 5, 1, 0}, PatternCase{":", 0, 0, 9, 1},
    PatternCase{"2:5,", 2, 5, 1, 1}, PatternCase{"1:4,,2:5", 2, 5, 1, 1}));

TEST_F(Applicability, FirstMatchEndsTheScan) {
    EXPECT_EQ(TargetsWith("[Install]\n2:5, 2:5:1\n", 2, 5, 1), 1);
    EXPECT_EQ(Count("Comp Result = "), 1u);
    EXPECT_EQ(Count("CompVersion("), 1u);
}

TEST_F(Applicability, TrailingCommaAddsNothing) {
    EXPECT_EQ(TargetsWith("[Install]\n2:5,\n", 2, 4, 0), 0);
    EXPECT_EQ(Count("CompVersion("), 1u);
}

TEST_F(Applicability, LeadingCommaComparesAnEmptyPatternFirst) {
    EXPECT_EQ(TargetsWith("[Install]\n,2:5\n", 2, 5, 1), 1);
    EXPECT_EQ(Log().substr(0, Log().find("CompVersion(2, 5, 1, 2:5)")),
              "CompVersion(2, 5, 1, )\r\n"
              "Comp PlatformID <0 : 2>\r\n"
              "Comp MajorVersion <0 : 5>\r\n"
              "Comp Result = 0\r\n");
}

TEST_F(Applicability, ZeroByteSeparatesLikeAComma) {
    const char raw[] = "[Install]\n1:4\0" "2:5\n";
    EXPECT_EQ(TargetsWith(std::string(raw, sizeof raw - 1), 2, 5, 1), 1);
    EXPECT_EQ(Count("CompVersion("), 2u);
    EXPECT_NE(Log().find("CompVersion(2, 5, 1, 2:5)\r\n"), std::string::npos);
}

TEST_F(Applicability, MalformedPatternFailsAloneAfterItsFirstLine) {
    EXPECT_EQ(Compare("2:5:1:0", 2, 5, 1), 0);
    EXPECT_EQ(Log(), "CompVersion(2, 5, 1, 2:5:1:0)\r\n");

    NativeLogRecord().clear();
    EXPECT_EQ(TargetsWith("[Install]\n2:5:1:0, 2:5:1\n", 2, 5, 1), 1);
    EXPECT_EQ(Count("Comp Result = 1"), 1u);
}

TEST_F(Applicability, OnlyTheFirstInstallEntryCounts) {
    EXPECT_EQ(TargetsWith("[Install]\n// targets\n\n \t\n1:4\n2:5\n", 2, 5, 0), 0);
    EXPECT_EQ(Log().find("2:5"), std::string::npos);
}

TEST_F(Applicability, NothingToCheckAnswersNoWithoutLogging) {
    EXPECT_EQ(TargetsWith("[File]\na.dll\n", 2, 5, 1), 0);
    EXPECT_EQ(TargetsWith("[Install]\n[File]\n2:5\n", 2, 5, 1), 0);
    EXPECT_EQ(TargetsWith("", 2, 5, 1), 0);
    EXPECT_EQ(Log(), "");
}

TEST_F(Applicability, NumbersBeyondThirtyTwoBitsSaturate) {
    // 4294967301 wraps to 5 in 32 bits; saturated it cannot match 5.
    EXPECT_EQ(Compare("2:4294967301", 2, 5, 1), 0);
    EXPECT_NE(Log().find("Comp MajorVersion <2147483647 : 5>\r\n"), std::string::npos);

    NativeLogRecord().clear();
    EXPECT_EQ(Compare("-99999999999999999999:2:2147483648", 2, 2, 1), 0);
    EXPECT_EQ(Log(),
              "CompVersion(2, 2, 1, -99999999999999999999:2:2147483648)\r\n"
              "Comp Minor Version <2147483647 : 1>\r\n"
              "Comp PlatformID <-2147483648 : 2>\r\n"
              "Comp MajorVersion <2 : 2>\r\n"
              "Comp Result = 0\r\n");
}

TEST_F(Applicability, LongPatternIsLoggedWhole) {
    const std::string pattern = "2:5:" + std::string(5000, ':');
    EXPECT_EQ(Compare(pattern, 2, 5, 1), 1);
    EXPECT_EQ(Log().substr(0, Log().find("\r\n") + 2),
              "CompVersion(2, 5, 1, " + pattern + ")\r\n");
}

}  // namespace
