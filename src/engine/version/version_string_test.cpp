#include "engine/version/version_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

VersionNumbers Parse(const char* text) {
    VersionNumbers numbers = {-7, -7, -7};
    ParseVersionText(text, &numbers);
    return numbers;
}

}  // namespace

TEST(ParseVersionText, EachPieceReadsLikeADecimalConversion) {
    const std::string zeros30(30, '0');
    const struct {
        std::string text;
        int32_t major, minor, third;
    } cases[] = {
        // Separators, and the numbers a text leaves out.
        {"5.1.2600.1", 5, 1, 2600},
        {"5, 1, 2600, 0", 5, 1, 2600},
        {"5,1.2600", 5, 1, 2600},
        {"2.10", 2, 10, 0},
        {"7", 7, 0, 0},
        {"", 0, 0, 0},
        {"1..3", 1, 0, 3},
        {".", 0, 0, 0},
        {"1.2.", 1, 2, 0},
        {"4.0.1381.", 4, 0, 1381},
        // Blanks, signs and whatever follows the digits.
        {"5.1.2600 (xpclient.010817-1148)", 5, 1, 2600},
        {"V1.2.3", 0, 2, 3},
        {" \t\r\n\v\f9.+8.-7", 9, 8, -7},
        {"1.0a.3b", 1, 0, 3},
        {"- 5.+-1.0x10", 0, 0, 0},
        {"12 34.5", 12, 5, 0},
        // Only the first 32 characters of a piece count: after 30 zeros "12"
        // fills it and "34" is dropped, not read into it. Blanks count toward
        // the 32 as well, and an overlong piece still ends at its separator.
        {zeros30 + "1234.5.6", 12, 5, 6},
        {std::string(40, ' ') + "1.7", 0, 7, 0},
        // Beyond the 32-bit range the numbers saturate, so a huge first
        // number still beats every sane one.
        {"1234567890123456789012345678901299999999.2", INT32_MAX, 2, 0},
        {"2147483648", INT32_MAX, 0, 0},
        {"2147483647", INT32_MAX, 0, 0},
        {"99999999999", INT32_MAX, 0, 0},
        {"-2147483648", INT32_MIN, 0, 0},
        {"-99999999999", INT32_MIN, 0, 0},
    };
    for (const auto& c : cases) {
        const VersionNumbers n = Parse(c.text.c_str());
        EXPECT_EQ(c.major, n.major) << '"' << c.text << '"';
        EXPECT_EQ(c.minor, n.minor) << '"' << c.text << '"';
        EXPECT_EQ(c.third, n.third) << '"' << c.text << '"';
    }
}

TEST(ParseVersionText, NullArgumentsAreHarmless) {
    ParseVersionText("1.2.3", nullptr);
    const VersionNumbers n = Parse(nullptr);
    EXPECT_EQ(0, n.major);
    EXPECT_EQ(0, n.minor);
    EXPECT_EQ(0, n.third);
}
