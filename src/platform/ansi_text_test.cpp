// Text in the ANSI code page, on the build machine standing in for a
// Japanese (932) or a Western (1252) Windows.
#include "platform/ansi_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text_case.h"

namespace {

std::string Upper(std::string text) {
    UpperCaseAnsi(text);
    return text;
}

// The code page in force for one test, and 932 again after it.
class InCodePage : public ::testing::Test {
protected:
    ~InCodePage() override { UseAnsiCodePage(932); }
};

// 表 (0x95 0x5C) and ソ (0x83 0x5C) end in the byte of "\".
const std::string kHyou = "\x95\x5C";
const std::string kSo = "\x83\x5C";

}  // namespace

TEST_F(InCodePage, UpperCasingKeepsDoubleByteCharactersWhole) {
    // 0x83 0x61 and 0xE0 0x7A are double-byte characters; a per-byte mapping
    // would turn them into other characters.
    EXPECT_EQ(Upper("sample.dll [log] a/b 0:9 z"), "SAMPLE.DLL [LOG] A/B 0:9 Z");
    EXPECT_EQ(Upper("\x83\x61" "bc.dll"), "\x83\x61" "BC.DLL");
    EXPECT_EQ(Upper("x\xE0\x7Ay\xFC\x61"), "X\xE0\x7AY\xFC\x61");
    // 0xA0..0xDF are single-byte katakana: the next byte is a character.
    EXPECT_EQ(Upper("\xB1" "a"), "\xB1" "A");
    // A lead byte at the very end has no trail byte to protect.
    EXPECT_EQ(Upper("a\x81"), "A\x81");
    // In 1252 the same bytes are characters of their own, and the letters
    // beyond ASCII fold as Windows folds them: é to É, ƒ kept.
    ASSERT_TRUE(UseAnsiCodePage(1252));
    EXPECT_EQ(Upper("\x83\x61" "bc.dll"), "\x83" "ABC.DLL");
    EXPECT_EQ(Upper("\xE9t\xE9.dll \xFF\x9A"), "\xC9T\xC9.DLL \x9F\x8A");
}

TEST_F(InCodePage, PathsSplitAndJoinByWholeCharacters) {
    const struct {
        unsigned codePage;
        std::string path, folder, name;
    } cases[] = {
        {932, "C:\\" + kHyou + "\\" + kSo + ".DLL", "C:\\" + kHyou, kSo + ".DLL"},
        {932, "S:\\" + kHyou + ".DLL", "S:", kHyou + ".DLL"},
        {932, kSo, "", kSo},
        {932, "/opt/app/qmx_tests", "/opt/app", "qmx_tests"},
        // On an English Windows the same bytes are two characters, and 0x5C a
        // separator.
        {1252, "S:\\" + kHyou + ".DLL", "S:\\\x95", ".DLL"},
        {1252, kSo, "\x83", ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(UseAnsiCodePage(c.codePage));
        EXPECT_EQ(c.folder, FolderOf(c.path)) << c.codePage << " " << c.path;
        EXPECT_EQ(c.name, NameOf(c.path)) << c.codePage << " " << c.path;
    }
    ASSERT_TRUE(UseAnsiCodePage(932));
    EXPECT_EQ("C:\\" + kSo + "\\X.DLL", JoinPath("C:\\" + kSo, "X.DLL"));
    EXPECT_EQ("C:\\A\\X.DLL", JoinPath("C:\\A\\", "X.DLL"));
    EXPECT_EQ("/tmp/p/X.DLL", JoinPath("/tmp/p", "X.DLL", '/'));
    ASSERT_TRUE(UseAnsiCodePage(1252));
    EXPECT_EQ("C:\\" + kSo + "X.DLL", JoinPath("C:\\" + kSo, "X.DLL"));
}

TEST_F(InCodePage, ModuleFolderKeepsDriveAndDirectoryWithTheTrailingSeparator) {
    EXPECT_EQ(ModuleFolder("C:\\APP\\QMXSET.EXE"), "C:\\APP\\");
    EXPECT_EQ(ModuleFolder("/opt/app/qmx_tests"), "/opt/app/");
    EXPECT_EQ(ModuleFolder("C:QMXSET.EXE"), "C:");
    EXPECT_EQ(ModuleFolder("QMXSET.EXE"), "");
    EXPECT_EQ(ModuleFolder("C:\\" + kHyou + "\\" + kHyou + ".EXE"), "C:\\" + kHyou + "\\");
}

TEST_F(InCodePage, OnlyKnownCodePagesCanBeAssumed) {
    EXPECT_FALSE(UseAnsiCodePage(65001));
    EXPECT_FALSE(UseAnsiCodePage(0));
    EXPECT_EQ(932u, AnsiCodePage());
    EXPECT_TRUE(UseAnsiCodePage(936));
    EXPECT_TRUE(IsAnsiLeadByte(0xA1));  // GBK's lead bytes are not Shift-JIS's
    EXPECT_TRUE(UseAnsiCodePage(1250));
    EXPECT_FALSE(IsAnsiLeadByte(0x95));
}

TEST(AsciiCase, FoldsOnlyTheTwentySixLetters) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase("Qmx_Chg.dat", "QMX_CHG.DAT"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xE9", "\xC9"));  // é and É in 1252
    EXPECT_FALSE(EqualsIgnoringAsciiCase("A", "AB"));
    // ャ and ア differ only in a trail byte that looks like a letter.
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\x83\x61.DLL", "\x83\x41.dll"));
    EXPECT_TRUE(EqualsIgnoringAsciiCase("\x83\x61.DLL", "\x83\x61.dll"));
}
