#include "changelist/plain_file_name.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text_case.h"

namespace {

bool Plain(const std::string& name) { return IsPlainFileName(name); }

}  // namespace

TEST(IsPlainFileName, TakesOrdinaryModuleNames) {
    for (const std::string name : {"X.DLL", "MSVCRT40.DLL", "A LONG MODULE NAME.DLL", "NOEXT",
                                   "X.DL_", ".HIDDEN", "CONFIG.SYS", "COMMAND.COM", "LPT.DLL",
                                   "COM10.DLL", "NULL.DLL"}) {
        EXPECT_TRUE(Plain(name)) << name;
    }
}

TEST(IsPlainFileName, RefusesNamesThatLeaveTheFolderOrNameAnother) {
    for (const std::string name :
         {"", "..\\X.DLL", "..", ".", "...", ". .", "SUB\\X.DLL", "\\X.DLL", "X.DLL\\",
          "../X.DLL", "C:X.DLL", "C:\\X.DLL", "X.DLL:STREAM", "\\\\SERVER\\SHARE\\X.DLL",
          "*.DLL", "X?.DLL", "X<.DLL", "X>.DLL", "X\".DLL", "X|Y.DLL", "X\x01.DLL",
          "X\t.DLL"}) {
        EXPECT_FALSE(Plain(name)) << name;
    }
}

TEST(IsPlainFileName, RefusesDeviceNamesWithOrWithoutExtension) {
    for (const std::string name : {"CON", "NUL", "PRN", "AUX", "COM1", "LPT9", "CON.DLL",
                                   "NUL.TXT.DLL", "COM3 .DLL", "con", "Lpt1.dll", "CONOUT$"}) {
        EXPECT_FALSE(Plain(name)) << name;
    }
}

TEST(IsPlainFileName, TrailByteOfADoubleByteCharacterIsNoBackslash) {
    // 0x95 0x5C is one character in Shift-JIS; 0x5C after a single-byte
    // character is a backslash still.
    EXPECT_TRUE(Plain("\x95\x5C.DLL"));
    EXPECT_FALSE(Plain("A\x5C.DLL"));
    // A lead byte at the end has no trail byte to protect.
    EXPECT_TRUE(Plain("X.DLL\x95"));
    EXPECT_FALSE(Plain("\x95\x5C\x5C.DLL"));
    // On an English Windows the same name holds a backslash.
    ASSERT_TRUE(UseAnsiCodePage(1252));
    EXPECT_FALSE(Plain("\x95\x5C.DLL"));
    UseAnsiCodePage(932);
}
