// JSON strings from texts in the package's code page (Shift-JIS on the build
// machine) and in UTF-8: always valid UTF-8, whatever the bytes.
#include "check/json_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* text;
    const char* json;
};

// Whether every character of text is well-formed UTF-8.
bool IsUtf8(const std::string& text) {
    const TextEncoding& utf8 = Utf8Encoding();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t at = 0; at < text.size();) {
        const size_t length = utf8.CharLength(bytes + at, text.size() - at);
        std::string ignored;
        if (!utf8.AppendUtf8(text.data() + at, length, &ignored)) return false;
        at += length;
    }
    return true;
}

}  // namespace

TEST(JsonText, ShiftJisBecomesUtf8AndBytesThatAreNoCharacterAreEscaped) {
    const Case cases[] = {
        {"QMXA.DLL", "\"QMXA.DLL\""},
        {"a\"b\\c\r\n\x7f", "\"a\\\"b\\\\c\\u000d\\u000a\\u007f\""},
        // 表示: the first character's second byte is a backslash.
        {"\x95\x5c\x8e\xa6.DLL", "\"\xe8\xa1\xa8\xe7\xa4\xba.DLL\""},
        {"\xb1\xdd", "\"\xef\xbd\xb1\xef\xbe\x9d\""},              // half-width katakana
        {"\x87\x40", "\"\xe2\x91\xa0\""},                          // NEC's circled one
        {"X\x95", "\"X\\u0095\""},                                 // a lead byte at the end
        {"\x81\x20Y", "\"\\u0081 Y\""},                            // a lead byte without a trail
        {"\x81\"", "\"\\u0081\\\"\""},                             // nor is a quote a trail
        {"\x80\xa0\xfd", "\"\\u0080\\u00a0\\u00fd\""},             // no character at all
    };
    for (const Case& c : cases) EXPECT_EQ(c.json, JsonString(c.text, PackageEncoding())) << c.json;
}

TEST(JsonText, Utf8PassesWhenWellFormedAndIsEscapedByteByByteWhenNot) {
    const Case cases[] = {
        {"\xe8\xa1\xa8/\xc3\xa9/\xf0\x9f\x98\x80", "\"\xe8\xa1\xa8/\xc3\xa9/\xf0\x9f\x98\x80\""},
        {"\xe8\xa1", "\"\\u00e8\\u00a1\""},             // cut short
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},             // overlong "/"
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // a surrogate
        {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // past U+10FFFF
        {"\x95\x5c", "\"\\u0095\\\\\""},                // Shift-JIS read as UTF-8
    };
    for (const Case& c : cases) EXPECT_EQ(c.json, JsonString(c.text, Utf8Encoding())) << c.json;
}

TEST(JsonText, EveryPairOfBytesGivesValidUtf8) {
    for (unsigned first = 0; first < 256; ++first) {
        for (unsigned second = 0; second < 256; ++second) {
            const std::string text = {static_cast<char>(first), static_cast<char>(second), 'A'};
            ASSERT_TRUE(IsUtf8(JsonString(text, PackageEncoding()))) << first << " " << second;
            ASSERT_TRUE(IsUtf8(JsonString(text, Utf8Encoding()))) << first << " " << second;
        }
    }
}

TEST(JsonText, CodePointsOfEveryLength) {
    const struct {
        unsigned long c;
        const char* utf8;
    } cases[] = {{0x41, "A"}, {0xE9, "\xc3\xa9"}, {0x8868, "\xe8\xa1\xa8"}, {0x1F600, "\xf0\x9f\x98\x80"}};
    for (const auto& c : cases) {
        std::string out;
        AppendCodePoint(c.c, &out);
        EXPECT_EQ(c.utf8, out) << c.c;
    }
}
