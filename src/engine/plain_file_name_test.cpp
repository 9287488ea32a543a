#include "engine/plain_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS: lead bytes 0x81-0x9F and 0xE0-0xFC.
bool ShiftJisLead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool Plain(const std::string& name) { return IsPlainFileName(name, &NoLeadBytes); }

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
    EXPECT_TRUE(IsPlainFileName("\x95\x5C.DLL", &ShiftJisLead));
    EXPECT_FALSE(IsPlainFileName("\x95\x5C.DLL", &NoLeadBytes));
    EXPECT_FALSE(IsPlainFileName("A\x5C.DLL", &ShiftJisLead));
    // A lead byte at the end has no trail byte to protect.
    EXPECT_TRUE(IsPlainFileName("X.DLL\x95", &ShiftJisLead));
    EXPECT_FALSE(IsPlainFileName("\x95\x5C\x5C.DLL", &ShiftJisLead));
}
