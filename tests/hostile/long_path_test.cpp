// Package and system folders whose paths reach the 260 bytes (MAX_PATH) of
// the ANSI file functions, and an executable whose own path is longer than
// the buffer it is read into. The engine carries paths whole; where the
// platform refuses a path, the file counts as absent and nothing is written.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "changelist/change_list_file.h"
#include "engine/local/install_environment.h"
#include "engine/restart/letter_shift.h"
#include "hostile_deployment.h"
#include "platform/os_calls.h"

namespace {

// Longest full path the ANSI file functions take: MAX_PATH less the zero.
const size_t kLongestPath = MAX_PATH - 1;
// Deepest system folder that still has room for the temporary files a module
// is written to before it is swapped in: GetTempFileNameA's limit, which
// leaves room for "\QMXnnnn.TMP".
const size_t kDeepestSystemFolder = MAX_PATH - 14;

// Windows converts an ANSI path into a buffer of MAX_PATH characters and
// refuses a longer one with ERROR_FILENAME_EXCED_RANGE. Wine takes paths of
// any length, so the refusal is made through the call table.
bool TooLong(LPCSTR path) {
    if (path != nullptr && ::lstrlenA(path) >= MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return true;
    }
    return false;
}
template <typename T>
bool TooLong(T) { return false; }  // not a path; an output buffer is never one

// Entry as Windows has it: refused, with the value it fails with, when any
// path passed in is too long.
template <auto Entry>
struct Limited;
template <typename R, typename... A, R(WINAPI* OsCalls::*Entry)(A...)>
struct Limited<Entry> {
    static R WINAPI Call(A... args) {
        if ((TooLong(args) || ...)) return s_refused;
        return (RealOsCalls().*Entry)(args...);
    }
    static inline R s_refused{};
};

class PathLimit {
public:
    PathLimit() {
        Limit<&OsCalls::CreateFileA>(INVALID_HANDLE_VALUE);
        Limit<&OsCalls::FindFirstFileA>(INVALID_HANDLE_VALUE);
        Limit<&OsCalls::CopyFileA>(FALSE);
        Limit<&OsCalls::MoveFileExA>(FALSE);
        Limit<&OsCalls::GetShortPathNameA>(0);
        Limit<&OsCalls::GetFileVersionInfoSizeA>(0);
        Limit<&OsCalls::GetFileVersionInfoA>(FALSE);
    }

private:
    template <auto Entry, typename R>
    void Limit(R refused) {
        Limited<Entry>::s_refused = refused;
        m_guard.Set(Entry, &Limited<Entry>::Call);
    }

    OsCallsGuard m_guard;
};

// The executable's path as GetModuleFileNameA reports one that does not fit:
// cut to the buffer, the length of the buffer returned, and (since Vista)
// terminated with ERROR_INSUFFICIENT_BUFFER; before Vista, unterminated.
std::string g_modulePath;
bool g_terminated = true;
DWORD WINAPI LongModulePath(HMODULE, LPSTR buffer, DWORD size) {
    const DWORD length = static_cast<DWORD>(g_modulePath.size());
    if (length < size) {
        ::lstrcpyA(buffer, g_modulePath.c_str());
        return length;
    }
    std::memcpy(buffer, g_modulePath.data(), size);
    if (g_terminated) buffer[size - 1] = '\0';
    ::SetLastError(g_terminated ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
    return size;
}

class LongPath : public HostileDeployment {
protected:
    std::string Lock(const std::string& result) const {
        return "LockDestFile : " + result + " \"" + Dest() + "\".\r\n";
    }
    void ShipNewerOverOlder() {
        Ship(FixtureBytes("V2_10.DLL"), kNewer);
        Install(FixtureBytes("V2_9.DLL"), kOlder);
    }
    // Deploys the newer module with the platform's limit on paths in force.
    int DeployNewerOverOlder() {
        ShipNewerOverOlder();
        PathLimit limit;
        return env.Deploy("X.DLL", machine).bit;
    }
    // The same, while the installed file is held as a loaded module is held.
    int DeployNewerOverOlderInUse() {
        ShipNewerOverOlder();
        AllowRestartSchedule();
        PathLimit limit;
        HANDLE holder = ::CreateFileA(Dest().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, holder);
        const int bit = env.Deploy("X.DLL", machine).bit;
        ::CloseHandle(holder);
        return bit;
    }
};

}  // namespace

TEST_F(LongPath, SystemDirectoryAtTheLimitTakesTheNewerModule) {
    UseSystemFolder(DeepFolder(m_system.path(), kDeepestSystemFolder));
    EXPECT_EQ(QMX_INST_COPIED, DeployNewerOverOlder());
    EXPECT_EQ(NewerByMinor() + Lock("QMX_LOCK_SUCEES"), LogText());
    EXPECT_EQ(Digest(FixtureBytes("V2_10.DLL")), Installed());
    EXPECT_EQ(std::set<std::string>{"X.DLL"}, SystemNames());
}

TEST_F(LongPath, SystemDirectoryWithoutRoomForATemporaryFileKeepsTheModule) {
    // A module path of 259 bytes: the module fits, a temporary name beside it
    // does not, and writing into the module itself is what is never done.
    UseSystemFolder(DeepFolder(m_system.path(), kLongestPath - 6));
    ASSERT_EQ(kLongestPath, Dest().size());
    EXPECT_EQ(QMX_INST_FAILED, DeployNewerOverOlder());
    EXPECT_EQ(NewerByMinor() + Lock("QMX_LOCK_SUCEES") + "CopyTargetFile - CopyFile is failed.(206) " +
                  Source() + " -> " + Dest() + "\r\n",
              LogText());
    EXPECT_EQ(Digest(FixtureBytes("V2_9.DLL")), Installed());
    EXPECT_EQ(std::set<std::string>{"X.DLL"}, SystemNames());
}

TEST_F(LongPath, PackageFolderAtTheLimitShipsTheModule) {
    UsePackageFolder(DeepFolder(m_program.path(), kLongestPath - 6));
    ASSERT_EQ(kLongestPath, Source().size());
    EXPECT_EQ(QMX_INST_COPIED, DeployNewerOverOlder());
    EXPECT_EQ(Digest(FixtureBytes("V2_10.DLL")), Installed());
}

TEST_F(LongPath, SystemDirectoryBeyondTheLimitFindsNothingInstalled) {
    UseSystemFolder(DeepFolder(m_system.path(), kLongestPath - 5));
    ASSERT_EQ(kLongestPath + 1, Dest().size());
    EXPECT_EQ(QMX_INST_SKIPPED, DeployNewerOverOlder());
    EXPECT_EQ("CopyTargetFile - Not exist " + Dest() + ".\r\n", LogText());
    EXPECT_EQ(Digest(FixtureBytes("V2_9.DLL")), Installed());
}

TEST_F(LongPath, PackageFolderBeyondTheLimitShipsNothing) {
    UsePackageFolder(DeepFolder(m_program.path(), kLongestPath - 5));
    ASSERT_EQ(kLongestPath + 1, Source().size());
    EXPECT_EQ(QMX_INST_NOT_APPLICABLE, DeployNewerOverOlder());
    EXPECT_EQ("CompareTimeStamp [2] - Not exist " + Source() + ".\r\n", LogText());
    EXPECT_EQ(Digest(FixtureBytes("V2_9.DLL")), Installed());
}

TEST_F(LongPath, PathsOneByteBeyondTheLimitAreNeverCutByTheEngine) {
    // Wine's ANSI functions take one byte more than Windows' (and refuse
    // longer paths as Windows does): with them, a package path of 260 bytes
    // reaches the right file whole, so no 260-byte buffer stands in the
    // engine's way. The system side is as deep as temporary names allow.
    UsePackageFolder(DeepFolder(m_program.path(), kLongestPath - 5));
    UseSystemFolder(DeepFolder(m_system.path(), kDeepestSystemFolder));
    ASSERT_EQ(static_cast<size_t>(MAX_PATH), Source().size());
    ShipNewerOverOlder();
    EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(NewerByMinor() + Lock("QMX_LOCK_SUCEES"), LogText());
    EXPECT_EQ(Digest(FixtureBytes("V2_10.DLL")), Installed());
}

TEST_F(LongPath, ModuleInUseAtTheLimitIsStagedBesideItOnNt) {
    UseSystemFolder(DeepFolder(m_system.path(), kDeepestSystemFolder));
    EXPECT_EQ(QMX_INST_ON_REBOOT, DeployNewerOverOlderInUse());
    const std::string staging = ShiftLastLetterOf(Dest(), 0);
    EXPECT_EQ(NewerByMinor() + Lock("QMX_LOCK_INUSE") + "CompareTimeStamp [1] - Not exist " +
                  staging + ".\r\n",
              LogText());
    EXPECT_EQ((std::set<std::string>{"X.DLL", "X.DLM"}), SystemNames());
    EXPECT_EQ(Digest(FixtureBytes("V2_9.DLL")), Installed());
    EXPECT_EQ(Digest(FixtureBytes("V2_10.DLL")), Installed("X.DLM"));
}

TEST_F(LongPath, ModuleInUseAtTheLimitGetsAShortRenameEntryOn9x) {
    UseSystemFolder(DeepFolder(m_system.path(), kDeepestSystemFolder));
    machine.osClass = QMX_OS_WIN9X;
    EXPECT_EQ(QMX_INST_ON_REBOOT, DeployNewerOverOlderInUse());
    char shortForm[MAX_PATH] = {};
    const std::string staging = ShiftLastLetterOf(Dest(), 0);
    ASSERT_NE(0u, ::GetShortPathNameA(staging.c_str(), shortForm, MAX_PATH));
    char value[MAX_PATH] = {};
    ::GetPrivateProfileStringA("Rename", ShiftLastLetterOf(shortForm, 1).c_str(), "", value,
                               sizeof value, WininitPath().c_str());
    EXPECT_STREQ(shortForm, value);
    EXPECT_EQ(Digest(FixtureBytes("V2_10.DLL")), Installed("X.DLM"));
}

TEST_F(LongPath, ExecutablePathLongerThanItsBufferReadsNoChangeListAndNoPackage) {
    // A change list that targets every machine, where the cut path of the
    // executable points: refusing the cut path must keep it unread.
    const std::string folder = DeepFolder(m_program.path(), kLongestPath - 12);
    ASSERT_TRUE(WriteLongFile(folder + "\\QMX_CHG.DAT",
                              "[Install]\r\n0:0, 1:4, 2:5, 2:6, 2:10\r\n[File]\r\nX.DLL\r\n[Log]\r\non\r\n"));
    SnapshotPackage();
    g_modulePath = folder + "\\QMXSET_WITH_A_LONG_NAME.EXE";
    ASSERT_GT(g_modulePath.size(), static_cast<size_t>(MAX_PATH));
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetModuleFileNameA, &LongModulePath);

    for (const bool terminated : {true, false}) {
        g_terminated = terminated;
        ChangeListFile list;
        std::string entry;
        EXPECT_EQ(0, list.IsLogOn()) << terminated;
        EXPECT_EQ(0, list.CheckInstallVersion(2, 5, 1, "")) << terminated;
        EXPECT_EQ(0, list.FirstFileEntry(entry, "")) << terminated;

        InstallEnvironment probe;
        EXPECT_EQ("", probe.GetProgramDir()) << terminated;
    }
    EXPECT_EQ("", LogText());

    // The same cut path, were it taken for whole, would find that list.
    g_modulePath.resize(MAX_PATH - 1);
    ChangeListFile fooled;
    EXPECT_EQ(1, fooled.IsLogOn());
}
