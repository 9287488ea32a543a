// Listed modules that are folders, and an installed module that is
// read-only. Each ends in a documented outcome, and nothing is written
// outside the system directory, WININIT.INI and the log.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostile_deployment.h"
#include "platform/os_calls.h"
#include "support/resource_counter.h"

namespace {

class AwkwardFolder : public HostileDeployment {
protected:
    static bool IsFolder(const std::string& path) {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
};

// Windows refuses to open a read-only file for writing, and to copy over it,
// with ERROR_ACCESS_DENIED. Wine runs as root here and enforces neither, so
// the denial is made through the call table, from the file's real attribute.
bool IsReadOnly(LPCSTR path) {
    const DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}
HANDLE WINAPI CreateFileHonouringReadOnly(LPCSTR name, DWORD access, DWORD share,
                                          LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                          DWORD flags, HANDLE templ) {
    if ((access & GENERIC_WRITE) && IsReadOnly(name)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return RealOsCalls().CreateFileA(name, access, share, security, disposition, flags, templ);
}
BOOL WINAPI CopyFileHonouringReadOnly(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    if (IsReadOnly(to)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return RealOsCalls().CopyFileA(from, to, failIfExists);
}

}  // namespace

TEST_F(AwkwardFolder, ModuleThatIsAFolderInThePackageIsMissing) {
    ASSERT_TRUE(CreateLongFolder(Source()));
    SnapshotPackage();
    Install(FixtureBytes("V2_9.DLL"), kOlder);
    ResourceCounter counter;
    EXPECT_EQ(QMX_INST_NOT_APPLICABLE, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
    EXPECT_EQ("CompareTimeStamp [2] - Not exist " + Source() + ".\r\n", LogText());
    EXPECT_EQ(Digest(FixtureBytes("V2_9.DLL")), Installed());
}

TEST_F(AwkwardFolder, ModuleThatIsAFolderInTheSystemDirectoryIsLeftAlone) {
    Ship(FixtureBytes("V2_10.DLL"), kNewer);
    ASSERT_TRUE(CreateLongFolder(Dest()));
    ResourceCounter counter;
    EXPECT_EQ(QMX_INST_SKIPPED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
    EXPECT_EQ("CompareTimeStamp [1] - Not exist " + Dest() + ".\r\n", LogText());
    EXPECT_TRUE(IsFolder(Dest()));
    EXPECT_EQ((std::set<std::string>{"X.DLL"}), SystemNames());
}

TEST_F(AwkwardFolder, ModuleThatIsAFolderOnBothSidesIsNotApplicable) {
    ASSERT_TRUE(CreateLongFolder(Source()));
    SnapshotPackage();
    ASSERT_TRUE(CreateLongFolder(Dest()));
    EXPECT_EQ(QMX_INST_NOT_APPLICABLE, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ("CompareTimeStamp [3] - Not exist " + Source() + ", " + Dest() + ".\r\n", LogText());
    EXPECT_TRUE(IsFolder(Dest()));
}

TEST_F(AwkwardFolder, ReadOnlyInstalledModuleFailsAndStaysAsItWas) {
    Ship(FixtureBytes("V2_10.DLL"), kNewer);
    Install(FixtureBytes("V2_9.DLL"), kOlder);
    ASSERT_TRUE(::SetFileAttributesA(Dest().c_str(), FILE_ATTRIBUTE_READONLY));
    OsCallsGuard guard;
    guard.Set(&OsCalls::CreateFileA, &CreateFileHonouringReadOnly);
    guard.Set(&OsCalls::CopyFileA, &CopyFileHonouringReadOnly);

    EXPECT_EQ(QMX_INST_FAILED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(NewerByMinor() + "LockDestFile : QMX_LOCK_ERROR(5) \"" + Dest() + "\".\r\n", LogText());
    EXPECT_EQ(Digest(FixtureBytes("V2_9.DLL")), Installed());
    EXPECT_EQ((std::set<std::string>{"X.DLL"}), SystemNames()) << "nothing staged";
}
