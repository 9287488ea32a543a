#include "platform/dialog_template.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void PutWord(std::vector<unsigned char>& bytes, size_t at, unsigned value) {
    bytes[at] = static_cast<unsigned char>(value & 0xFF);
    bytes[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void PutDword(std::vector<unsigned char>& bytes, size_t at, unsigned long value) {
    PutWord(bytes, at, value & 0xFFFF);
    PutWord(bytes, at + 2, (value >> 16) & 0xFFFF);
}

}  // namespace

TEST(DialogTemplate, ReadsTheClassicHeader) {
    std::vector<unsigned char> bytes(24, 0);
    PutDword(bytes, 0, 0x80C000C0);
    PutDword(bytes, 4, 0x00000200);
    PutWord(bytes, 8, 2);
    PutWord(bytes, 10, 0xFFFE);  // x = -2
    PutWord(bytes, 12, 7);
    PutWord(bytes, 14, 162);
    PutWord(bytes, 16, 64);
    DialogTemplateHeader h;
    ASSERT_TRUE(ParseDialogTemplateHeader(bytes.data(), bytes.size(), &h));
    EXPECT_FALSE(h.extended);
    EXPECT_EQ(0x80C000C0u, h.style);
    EXPECT_EQ(0x200u, h.exStyle);
    EXPECT_EQ(2, h.itemCount);
    EXPECT_EQ(-2, h.x);
    EXPECT_EQ(7, h.y);
    EXPECT_EQ(162, h.cx);
    EXPECT_EQ(64, h.cy);
}

TEST(DialogTemplate, ReadsTheExtendedHeader) {
    std::vector<unsigned char> bytes(32, 0);
    PutWord(bytes, 0, 1);
    PutWord(bytes, 2, 0xFFFF);
    PutDword(bytes, 4, 99);  // help id, not part of the header we keep
    PutDword(bytes, 8, 0x00040000);
    PutDword(bytes, 12, 0x80C000C0);
    PutWord(bytes, 16, 0);
    PutWord(bytes, 18, 3);
    PutWord(bytes, 20, 4);
    PutWord(bytes, 22, 185);
    PutWord(bytes, 24, 92);
    DialogTemplateHeader h;
    ASSERT_TRUE(ParseDialogTemplateHeader(bytes.data(), bytes.size(), &h));
    EXPECT_TRUE(h.extended);
    EXPECT_EQ(0x80C000C0u, h.style);
    EXPECT_EQ(0x00040000u, h.exStyle);
    EXPECT_EQ(0, h.itemCount);
    EXPECT_EQ(3, h.x);
    EXPECT_EQ(4, h.y);
    EXPECT_EQ(185, h.cx);
    EXPECT_EQ(92, h.cy);
}

TEST(DialogTemplate, RefusesTruncatedOrMissingData) {
    DialogTemplateHeader h = {};
    h.cx = 123;
    std::vector<unsigned char> classic(17, 0);
    EXPECT_FALSE(ParseDialogTemplateHeader(classic.data(), classic.size(), &h));
    std::vector<unsigned char> extended(25, 0);
    PutWord(extended, 0, 1);
    PutWord(extended, 2, 0xFFFF);
    EXPECT_FALSE(ParseDialogTemplateHeader(extended.data(), extended.size(), &h));
    EXPECT_FALSE(ParseDialogTemplateHeader(nullptr, 100, &h));
    EXPECT_EQ(123, h.cx);
}
