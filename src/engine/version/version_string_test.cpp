#include "engine/version/version_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct Case {
    const char* text;
    int32_t major, minor, third;
};

VersionNumbers Parse(const char* text) {
    VersionNumbers numbers = {-7, -7, -7};
    ParseVersionText(text, &numbers);
    return numbers;
}

void ExpectAll(const Case* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const VersionNumbers n = Parse(cases[i].text);
        EXPECT_EQ(cases[i].major, n.major) << '"' << cases[i].text << '"';
        EXPECT_EQ(cases[i].minor, n.minor) << '"' << cases[i].text << '"';
        EXPECT_EQ(cases[i].third, n.third) << '"' << cases[i].text << '"';
    }
}

}  // namespace

TEST(ParseVersionText, SeparatorsAndMissingNumbers) {
    const Case cases[] = {
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
    };
    ExpectAll(cases, sizeof cases / sizeof cases[0]);
}

TEST(ParseVersionText, EachPieceReadsLikeADecimalConversion) {
    const Case cases[] = {
        {"5.1.2600 (xpclient.010817-1148)", 5, 1, 2600},
        {"V1.2.3", 0, 2, 3},
        {" \t\r\n\v\f9.+8.-7", 9, 8, -7},
        {"1.0a.3b", 1, 0, 3},
        {"- 5.+-1.0x10", 0, 0, 0},
        {"12 34.5", 12, 5, 0},
    };
    ExpectAll(cases, sizeof cases / sizeof cases[0]);
}

TEST(ParseVersionText, OnlyTheFirst32CharactersOfAPieceCount) {
    const std::string zeros30(30, '0');
    // 30 zeros, then "12" fills the piece; "34" is dropped, not read into it.
    EXPECT_EQ(12, Parse((zeros30 + "1234.5.6").c_str()).major);
    EXPECT_EQ(5, Parse((zeros30 + "1234.5.6").c_str()).minor);
    EXPECT_EQ(6, Parse((zeros30 + "1234.5.6").c_str()).third);
    // Blanks count toward the 32 as well: forty of them push the digit out,
    // and the overlong piece still ends at its own separator.
    EXPECT_EQ(7, Parse((std::string(40, ' ') + "1.7").c_str()).minor);
    EXPECT_EQ(0, Parse((std::string(40, ' ') + "1.7").c_str()).major);
}

TEST(ParseVersionText, DigitsBeyondTheRangeSaturate) {
    EXPECT_EQ(INT32_MAX, Parse("1234567890123456789012345678901299999999.2").major);
    EXPECT_EQ(2, Parse("1234567890123456789012345678901299999999.2").minor);
    EXPECT_EQ(INT32_MAX, Parse("2147483648").major);
    EXPECT_EQ(INT32_MAX, Parse("2147483647").major);
    EXPECT_EQ(INT32_MIN, Parse("-2147483648").major);
    EXPECT_EQ(INT32_MIN, Parse("-99999999999").major);
    // Saturated values still order: a huge first number beats every sane one.
    EXPECT_GT(Parse("99999999999").major, Parse("2147483646").major);
}

TEST(ParseVersionText, NullArgumentsAreHarmless) {
    ParseVersionText("1.2.3", nullptr);
    const VersionNumbers n = Parse(nullptr);
    EXPECT_EQ(0, n.major);
    EXPECT_EQ(0, n.minor);
    EXPECT_EQ(0, n.third);
}
