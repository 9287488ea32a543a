#include "log/log_format.h"

#include <gtest/gtest.h>

#include <climits>

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

TEST(LogFormat, FormatsEachConversionWithUpToFourArguments) {
    EXPECT_EQ("CompVersion(2, 5, 1, 2:5:0)\r\n",
              Format("CompVersion(%d, %d, %d, %s)\r\n", 2, 5, 1, "2:5:0"));
    EXPECT_EQ("EngingMessage[0x5] - x\r\n", Format("EngingMessage[0x%x] - %s\r\n", 5, "x"));
    EXPECT_EQ("[C] (null) 100%", Format("[%c] %s 100%%", 'C', static_cast<const char*>(nullptr)));
    // Integers at their limits.
    EXPECT_EQ("-2147483648 2147483647 0", Format("%d %i %d", INT_MIN, INT_MAX, 0));
    EXPECT_EQ("4294967295 ffffffff FFFFFFFF 0",
              Format("%u %x %X %x", UINT_MAX, UINT_MAX, UINT_MAX, 0u));
    EXPECT_EQ("(4294967295) 7", Format("(%lu) %d", 4294967295ul, 7));
}

TEST(LogFormat, WidthPadsButNeverCuts) {
    // A version resource's string-table name: language and code page, four hex digits each.
    EXPECT_EQ("\\StringFileInfo\\040904b0\\FileVersion",
              Format("\\StringFileInfo\\%04x%04x\\FileVersion", 0x409u, 0x4b0u));
    EXPECT_EQ("12345", Format("%04x", 0x12345u));
    EXPECT_EQ("-0042|  -42|   ab|7", Format("%05d|%5d|%5s|%0d", -42, -42, "ab", 7));
}

// The conversion's argument type is unknown, so reading it or any later one
// could read the wrong size: the rest is kept as written instead.
TEST(LogFormat, UnknownConversionEndsTheFormatting) {
    EXPECT_EQ("1 %ld %s\r\n", Format("%d %ld %s\r\n", 1, 2L, "never read"));
    EXPECT_EQ("50 %", Format("%d %", 50));
    EXPECT_EQ("%5", Format("%5"));
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
