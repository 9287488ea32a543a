// The package check reads version resources from the module's bytes where
// the installer asks the platform. Both must give the same FileVersion, or
// both none, for every fixture module and for the damaged resources the
// deployment tests use, or the check would predict another decision.
#include <gtest/gtest.h>

#include <string>

#include "check/module_probe.h"
#include "check/module_version.h"
#include "hostile_deployment.h"
#include "pe_version_resource.h"
#include "platform/os_calls.h"

namespace {

class ReadersAgree : public HostileDeployment {
protected:
    // The installer's reading of bytes put in the package: the text, or
    // "<unreadable>".
    std::string ByPlatform(const std::string& bytes) {
        Ship(bytes, kNewer);
        char buffer[MAX_PATH];
        return VersionCompare().QmxGetVersion(Source(), buffer, sizeof buffer) == 1 ? std::string(buffer)
                                                                      : "<unreadable>";
    }
    static std::string ByBytes(const std::string& bytes) {
        const ModuleVersion version = ReadModuleVersion(bytes);
        return version.hasText ? version.text : "<unreadable>";
    }
    void ExpectAgreement(const std::string& what, const std::string& bytes) {
        EXPECT_EQ(ByPlatform(bytes), ByBytes(bytes)) << what;
    }
    void TearDown() override {
        SnapshotPackage();
        HostileDeployment::TearDown();
    }
};

TEST_F(ReadersAgree, OnEveryFixtureModule) {
    for (const char* name :
         {"V5_1_2600_0.DLL", "V5_1_2600_1.DLL", "V5_1_2600_2.DLL", "V5_1_2600_COMMAS.DLL", "V2_10.DLL",
          "V2_9.DLL", "V1_0.DLL", "V1_0_0.DLL", "V1_0A_LOWER.DLL", "V1_0A_UPPER.DLL", "VV1.DLL",
          "V3_0.DLL", "VLONGPIECE.DLL", "VJAPANESE.DLL", "NOVERSION.DLL", "NOVERSION2.DLL",
          "V5_1_2601.DLL", "VZEROS.DLL", "VEMPTY.DLL", "VNOTRANSLATION.DLL", "VOTHERBLOCK.DLL",
          "VLONGTEXT.DLL"}) {
        const std::string bytes = FixtureBytes(name);
        ASSERT_FALSE(bytes.empty()) << name;
        ExpectAgreement(name, bytes);
    }
}

TEST_F(ReadersAgree, OnDamagedResources) {
    const std::string whole = FixtureBytes("V2_10.DLL");
    VersionResourceAt at;
    ASSERT_TRUE(FindVersionResource(whole, &at));

    ExpectAgreement("cut inside the resource", whole.substr(0, at.data + at.size / 2));
    ExpectAgreement("cut before it", whole.substr(0, at.data));

    std::string claiming = whole;
    PutWord(claiming, at.data, 0xFFFF);
    ExpectAgreement("tree claiming 64 KiB", claiming);
    std::string zeroLength = whole;
    PutWord(zeroLength, at.data, 0);
    ExpectAgreement("tree of length 0", zeroLength);

    for (unsigned long recorded : {0x10000ul, 0x7FFFFFFFul, 0ul}) {
        std::string oversized = whole;
        PutDword(oversized, at.entry + 4, recorded);
        ExpectAgreement("directory recording " + std::to_string(recorded), oversized);
    }
    std::string shorter = whole;
    PutDword(shorter, at.entry + 4, static_cast<unsigned long>(at.size / 2));
    ExpectAgreement("directory recording half the resource", shorter);
}

// The Windows package check asks the platform itself, as the installer
// does, and must refuse the same sizes before it asks for the block.
DWORD g_largestBlockAskedFor = 0;
BOOL WINAPI RecordingGetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD size, LPVOID data) {
    if (size > g_largestBlockAskedFor) g_largestBlockAskedFor = size;
    return RealOsCalls().GetFileVersionInfoA(name, handle, size, data);
}

TEST_F(ReadersAgree, ThePackageCheckOnWindowsNeverAsksForADamagedSize) {
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetFileVersionInfoA, &RecordingGetFileVersionInfoA);
    const std::string whole = FixtureBytes("V2_10.DLL");
    VersionResourceAt at;
    ASSERT_TRUE(FindVersionResource(whole, &at));
    for (const unsigned long recorded : {0x14000ul, 0x100000ul, 0x7FFFFFF0ul}) {
        std::string oversized = whole;
        PutDword(oversized, at.entry + 4, recorded);
        Ship(oversized, kNewer);
        g_largestBlockAskedFor = 0;
        const ModuleProbe probe = ProbeModule(m_programDir, "X.DLL");
        EXPECT_TRUE(probe.opened) << recorded;
        EXPECT_FALSE(probe.version.hasText) << recorded;
        EXPECT_FALSE(probe.version.hasNumbers) << recorded;
        EXPECT_EQ(0u, g_largestBlockAskedFor) << recorded;
    }
    // An intact module is still read in full.
    Ship(whole, kNewer);
    const ModuleProbe probe = ProbeModule(m_programDir, "X.DLL");
    EXPECT_EQ("2.10", probe.version.text);
    EXPECT_TRUE(probe.version.hasNumbers);
    EXPECT_NE(0u, g_largestBlockAskedFor);
}

}  // namespace
