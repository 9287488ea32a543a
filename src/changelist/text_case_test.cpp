#include "changelist/text_case.h"

#include <gtest/gtest.h>

#include <string>

#include "changelist/module_folder.h"

namespace {

std::string Upper(std::string text) {
    UpperCaseAnsi(text);
    return text;
}

TEST(TextCase, UpperCasesAsciiLettersOnly) {
    EXPECT_EQ(Upper("sample.dll [log] a/b 0:9 z"), "SAMPLE.DLL [LOG] A/B 0:9 Z");
    EXPECT_EQ(Upper(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(TextCase, ShiftJisTrailBytesInAToZStayIntact) {
    // 0x83 0x61 and 0xE0 0x7A are double-byte characters; a per-byte mapping
    // would turn them into other characters.
    EXPECT_EQ(Upper("\x83\x61" "bc.dll"), "\x83\x61" "BC.DLL");
    EXPECT_EQ(Upper("x\xE0\x7Ay\xFC\x61"), "X\xE0\x7AY\xFC\x61");
    // 0xA0..0xDF are single-byte katakana: the next byte is a character.
    EXPECT_EQ(Upper("\xB1" "a"), "\xB1" "A");
    // A lead byte at the very end has no trail byte to protect.
    EXPECT_EQ(Upper("a\x81"), "A\x81");
}

TEST(ModuleFolder, KeepsDriveAndDirectoryWithTheTrailingSeparator) {
    EXPECT_EQ(ModuleFolder("C:\\APP\\QMXSET.EXE"), "C:\\APP\\");
    EXPECT_EQ(ModuleFolder("/opt/app/qmx_tests"), "/opt/app/");
    EXPECT_EQ(ModuleFolder("C:QMXSET.EXE"), "C:");
    EXPECT_EQ(ModuleFolder("QMXSET.EXE"), "");
}

TEST(ModuleFolder, DoubleByteTrailBackslashDoesNotSplit) {
    // 0x95 0x5C is one character whose trail byte equals "\".
    EXPECT_EQ(ModuleFolder("C:\\\x95\x5C\\\x95\x5C.EXE"), "C:\\\x95\x5C\\");
}

}  // namespace
