// A module's machine from images written field by field: the COFF header's
// machine, IL-only images, hybrid ARM64 images, and what may replace what.
#include "engine/version/module_machine.h"

#include <gtest/gtest.h>

#include <string>

#include "support/pe_image_bytes.h"

namespace {

std::string NameOf(const std::string& bytes) {
    MemoryBytes memory(bytes);
    return MachineName(ReadModuleMachine(memory));
}

TEST(ModuleMachine, NamesTheMachineProgramsLoad) {
    struct Case {
        const char* what;
        PeImageBytes image;
        const char* name;
    };
    PeImageBytes i386, x64, arm64, arm64x, oldConfig, ilOnly, il32, il64, mixed, arm, ecOnly;
    x64.machine = kMachineX64, x64.pe32Plus = true;
    arm64.machine = kMachineArm64, arm64.pe32Plus = true, arm64.loadConfigSize = 0x140;
    arm64x = arm64, arm64x.chpe = 0x1800;
    oldConfig = arm64x, oldConfig.loadConfigSize = 0x94;  // the pointer lies past its Size
    ilOnly.clrFlags = 0x1;
    il32.clrFlags = 0x3;
    il64.pe32Plus = true, il64.clrFlags = 0x1;  // PE32+ yet i386 in the COFF header
    mixed.clrFlags = 0x10;                     // C++/CLI: native code inside
    arm.machine = 0x1C4;
    ecOnly = x64, ecOnly.loadConfigSize = 0x140, ecOnly.chpe = 0x1800;  // ARM64EC: an x64 image
    const Case cases[] = {
        {"i386", i386, "i386"},         {"x64", x64, "x64"},
        {"arm64", arm64, "arm64"},      {"arm64x", arm64x, "arm64x"},
        {"short load configuration", oldConfig, "arm64"},
        {"IL only", ilOnly, "any"},     {"IL only, 32-bit required", il32, "i386"},
        {"IL only PE32+", il64, "x64"}, {"mixed mode", mixed, "i386"},
        {"another machine", arm, "0x01c4"},
        {"ARM64EC", ecOnly, "x64"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.name, NameOf(c.image.Bytes())) << c.what;
}

TEST(ModuleMachine, AnythingButAnImageIsNone) {
    const std::string image = PeImageBytes().Bytes();
    EXPECT_EQ("none", NameOf(""));
    EXPECT_EQ("none", NameOf("plain text, no header at all"));
    EXPECT_EQ("none", NameOf(image.substr(0, 0x50)));  // cut inside the COFF header
    // Cut before its section table or its CLI header: the COFF header's machine.
    PeImageBytes il;
    il.clrFlags = 0x1;
    EXPECT_EQ("i386", NameOf(il.Bytes().substr(0, 0x200)));
}

class FailingBytes : public ModuleBytes {
public:
    bool ReadAt(uint64_t, size_t, std::string*) override { return false; }
};

TEST(ModuleMachine, SaysWhenTheBytesCouldNotBeRead) {
    FailingBytes failing;
    bool readFailed = false;
    EXPECT_EQ(ModuleMachine::kNotImage, ReadModuleMachine(failing, &readFailed).kind);
    EXPECT_TRUE(readFailed);
    const std::string mz("MZ");
    MemoryBytes text(mz);
    ReadModuleMachine(text, &readFailed);
    EXPECT_FALSE(readFailed);
}

TEST(ModuleMachine, WhatMayReplaceWhat) {
    ModuleMachine none, any, i386, x64, arm64, arm64x;
    any.kind = ModuleMachine::kAny;
    i386.kind = x64.kind = arm64.kind = ModuleMachine::kMachine;
    i386.machine = kMachineI386, x64.machine = kMachineX64, arm64.machine = kMachineArm64;
    arm64x.kind = ModuleMachine::kArm64x, arm64x.machine = kMachineArm64;
    struct Case {
        ModuleMachine installed, shipped;
        bool fits;
    };
    const Case cases[] = {
        {i386, i386, true},     {i386, x64, false},      {x64, i386, false},    {x64, arm64, false},
        {arm64, arm64x, true},  {arm64x, arm64, false},  {arm64x, arm64x, true}, {arm64x, x64, false},
        {any, i386, false},     {any, any, true},        {i386, any, true},      {arm64x, any, true},
        {none, x64, true},      {x64, none, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.fits, FitsInstalled(c.installed, c.shipped))
            << MachineName(c.installed) << " replaced by " << MachineName(c.shipped);
    }
}

}  // namespace
