#include "log/log_format.h"

#include <gtest/gtest.h>

#include "log/debug_log.h"

namespace {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = FormatLogLine(format, args);
    va_end(args);
    return line;
}

class NativeLog : public ::testing::Test {
protected:
    void SetUp() override { NativeLogRecord().clear(); SetLogSwitch(0); }
    void TearDown() override { SetLogSwitch(0); }
};

}  // namespace

TEST(LogFormat, FormatsWithUpToFourArguments) {
    EXPECT_EQ("CompVersion(2, 5, 1, 2:5:0)\r\n",
              Format("CompVersion(%d, %d, %d, %s)\r\n", 2, 5, 1, "2:5:0"));
    EXPECT_EQ("EngingMessage[0x5] - x\r\n", Format("EngingMessage[0x%x] - %s\r\n", 5, "x"));
}

TEST(LogFormat, LongArgumentIsKeptWhole) {
    const std::string pattern(100000, '9');
    const std::string line = Format("CompVersion(%d, %d, %d, %s)\r\n", 2, 5, 1, pattern.c_str());
    EXPECT_EQ("CompVersion(2, 5, 1, " + pattern + ")\r\n", line);
}

TEST_F(NativeLog, OnlyTheValueOneSwitchesItOn) {
    for (int value : {0, 2, -1, 0x101}) {
        SetLogSwitch(value);
        DebugLog("line %d\r\n", value);
    }
    EXPECT_EQ("", NativeLogRecord());
    SetLogSwitch(1);
    DebugLog("line %d\r\n", 1);
    EXPECT_EQ("line 1\r\n", NativeLogRecord());
}
