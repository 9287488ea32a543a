#include "engine/local/install_environment.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "log/debug_log.h"
#include "support/log_file.h"
#include "support/logged_test.h"
#include "support/os_fault.h"
#include "support/resource_counter.h"
#include "support/temp_dir.h"

namespace {

class ProbeTest : public LoggedTest {
protected:
    OsCallsGuard m_guard;
    InstallEnvironment m_env;
};

// --- A Windows version reported by a fake GetVersionExA ---

struct Reported {
    DWORD platform, major, minor;
};
Reported g_reported;

// Demands the basic record: a fake that accepted the extended size too would
// not show which one the probe passes.
BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA info) {
    if (info->dwOSVersionInfoSize != 148) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwPlatformId = g_reported.platform;
    info->dwMajorVersion = g_reported.major;
    info->dwMinorVersion = g_reported.minor;
    info->dwBuildNumber = 1;
    return TRUE;
}

// --- A group list reported by a fake GetTokenInformation ---

struct WellKnownSid {
    explicit WellKnownSid(WELL_KNOWN_SID_TYPE type) : bytes(SECURITY_MAX_SID_SIZE) {
        DWORD size = SECURITY_MAX_SID_SIZE;
        ::CreateWellKnownSid(type, nullptr, bytes.data(), &size);
    }
    PSID get() { return bytes.data(); }
    std::vector<BYTE> bytes;
};

std::vector<SID_AND_ATTRIBUTES> g_groups;

BOOL WINAPI FakeGetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS kind, LPVOID buffer,
                                    DWORD size, PDWORD returned) {
    if (kind != TokenGroups) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>(offsetof(TOKEN_GROUPS, Groups) +
                                            g_groups.size() * sizeof(SID_AND_ATTRIBUTES));
    *returned = needed;
    if (buffer == nullptr || size < needed) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    TOKEN_GROUPS* groups = static_cast<TOKEN_GROUPS*>(buffer);
    groups->GroupCount = static_cast<DWORD>(g_groups.size());
    std::memcpy(groups->Groups, g_groups.data(), g_groups.size() * sizeof(SID_AND_ATTRIBUTES));
    return TRUE;
}

class AdministratorTest : public ProbeTest {
protected:
    void UseGroups(std::vector<SID_AND_ATTRIBUTES> groups) {
        g_groups = std::move(groups);
        m_guard.Set(&OsCalls::GetTokenInformation, &FakeGetTokenInformation);
    }

    WellKnownSid m_everyone{WinWorldSid};
    WellKnownSid m_users{WinBuiltinUsersSid};
    WellKnownSid m_administrators{WinBuiltinAdministratorsSid};
};

// --- An executable path reported by a fake GetModuleFileNameA ---

std::string g_modulePath;

// Behaves like Windows Vista and later when the buffer is too small.
DWORD WINAPI FakeGetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
    const DWORD length = static_cast<DWORD>(g_modulePath.size());
    if (length >= size) {
        std::memcpy(buffer, g_modulePath.data(), size - 1);
        buffer[size - 1] = '\0';
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, g_modulePath.c_str(), length + 1);
    return length;
}

// Shift-JIS's lead byte of "so", whose trail byte is "\".
BOOL WINAPI ShiftJisLeadByte(BYTE byte) { return byte == 0x83; }

UINT WINAPI SystemDirectoryTooLong(LPSTR, UINT) { return 300; }

WORD g_langId;
LANGID WINAPI FakeUserLanguage() { return g_langId; }

}  // namespace

TEST(ResourceCounter, SeesALeakAndADoubleRelease) {
    ResourceCounter counter;
    HLOCAL block = g_os.LocalAlloc(LMEM_FIXED, 16);
    EXPECT_EQ(1, counter.Outstanding(ResourceCounter::kHeap));
    g_os.LocalFree(block);
    EXPECT_EQ(0, counter.Outstanding());
    EXPECT_EQ(0, counter.StrayReleases());
    g_os.LocalFree(block);
    EXPECT_EQ(1, counter.StrayReleases());
}

// An unsupported version is stored as reported but leaves the class that an
// earlier probe found (here NT 4.0).
TEST_F(ProbeTest, ClassifiesEveryWindowsVersion) {
    m_guard.Set(&OsCalls::GetVersionExA, &FakeGetVersionExA);
    const struct {
        Reported reported;
        int32_t osClass;
    } rows[] = {
        {{1, 4, 0}, QMX_OS_WIN9X},     {{1, 4, 10}, QMX_OS_WIN9X},
        {{1, 4, 90}, QMX_OS_WIN9X},    {{1, 0, 0}, QMX_OS_WIN9X},
        {{2, 3, 51}, QMX_OS_NT351},    {{2, 3, 99}, QMX_OS_NT351},
        {{2, 4, 0}, QMX_OS_NT4},       {{2, 4, 90}, QMX_OS_NT4},
        {{2, 5, 0}, QMX_OS_NT5_OR_LATER}, {{2, 5, 2}, QMX_OS_NT5_OR_LATER},
        {{2, 10, 0}, QMX_OS_NT5_OR_LATER}, {{2, 0xFFFFFFFFu, 0}, QMX_OS_NT5_OR_LATER},
        {{2, 3, 50}, QMX_OS_NONE},     {{2, 3, 10}, QMX_OS_NONE},
        {{2, 2, 99}, QMX_OS_NONE},     {{0, 3, 11}, QMX_OS_NONE},
        {{3, 5, 0}, QMX_OS_NONE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.reported.platform) + " " + std::to_string(row.reported.major) +
                     "." + std::to_string(row.reported.minor));
        InstallEnvironment env;
        g_reported = {2, 4, 0};
        ASSERT_EQ(1, env.CheckOsVersion());
        g_reported = row.reported;
        const bool supported = row.osClass != QMX_OS_NONE;
        EXPECT_EQ(supported ? 1 : 0, env.CheckOsVersion());
        EXPECT_EQ(supported ? row.osClass : QMX_OS_NT4, env.GetMachine().osClass);
        EXPECT_EQ(row.reported.platform, env.GetMachine().platformId);
        EXPECT_EQ(row.reported.major, env.GetMachine().majorVersion);
        EXPECT_EQ(row.reported.minor, env.GetMachine().minorVersion);
    }
}

// 95/98/Me may install without any token being opened; the NT family is
// judged by its token, here one without the administrators.
TEST_F(AdministratorTest, OnlyTheNtFamilyAsksTheToken) {
    m_guard.Set(&OsCalls::GetVersionExA, &FakeGetVersionExA);
    UseGroups({{m_everyone.get(), SE_GROUP_ENABLED}, {m_users.get(), SE_GROUP_ENABLED}});
    for (const Reported& reported : {Reported{1, 4, 10}, Reported{2, 3, 51}, Reported{2, 5, 1}}) {
        g_reported = reported;
        // Faults that never fire, kept only for their call counts.
        OsFault<&OsCalls::OpenThreadToken> thread(1000, FALSE, 0);
        OsFault<&OsCalls::OpenProcessToken> process(1000, FALSE, 0);
        m_env.InitEnvironment();
        const bool nt = reported.platform == 2;
        EXPECT_EQ(nt ? 0 : 1, m_env.GetMachine().isAdmin) << reported.major;
        EXPECT_EQ(nt, thread.calls() + process.calls() > 0) << reported.major;
    }
}

// A failed version query also clears the reported version.
TEST_F(ProbeTest, NoRightsWhenTheVersionIsUnknownOrUnsupported) {
    m_env.InitEnvironment();
    ASSERT_EQ(1, m_env.GetMachine().isAdmin);  // Wine's user is an administrator
    {
        OsFault<&OsCalls::GetVersionExA> fault(1, FALSE, ERROR_INVALID_PARAMETER, true);
        m_env.InitEnvironment();
        EXPECT_EQ(0, m_env.CheckOsVersion());
    }
    EXPECT_EQ(0, m_env.GetMachine().isAdmin);
    EXPECT_EQ(0u, m_env.GetMachine().platformId);
    EXPECT_EQ(0u, m_env.GetMachine().majorVersion);
    EXPECT_EQ(0u, m_env.GetMachine().minorVersion);

    InstallEnvironment unsupported;
    m_guard.Set(&OsCalls::GetVersionExA, &FakeGetVersionExA);
    g_reported = {2, 3, 50};
    unsupported.InitEnvironment();
    EXPECT_EQ(0, unsupported.GetMachine().isAdmin);
    EXPECT_EQ(QMX_OS_NONE, unsupported.GetMachine().osClass);
}

// An impersonating thread is judged by its own token, any other by the
// process's.
TEST_F(AdministratorTest, WineUserIsAnAdministratorAndEverythingIsReleased) {
    for (const bool impersonating : {false, true}) {
        if (impersonating && !::ImpersonateSelf(SecurityImpersonation)) GTEST_SKIP() << "no impersonation here";
        OsFault<&OsCalls::OpenProcessToken> process(1000, FALSE, 0);  // never fires; counts
        ResourceCounter counter;
        const int result = m_env.CheckAdministrator();
        if (impersonating) ::RevertToSelf();
        EXPECT_EQ(1, result) << impersonating;
        EXPECT_EQ(impersonating ? 0 : 1, process.calls()) << impersonating;
        EXPECT_EQ(1, counter.Acquired(ResourceCounter::kToken)) << impersonating;
        EXPECT_EQ(1, counter.Acquired(ResourceCounter::kHeap)) << impersonating;
        EXPECT_EQ(1, counter.Acquired(ResourceCounter::kSid)) << impersonating;
        EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
        EXPECT_EQ(0, counter.StrayReleases()) << counter.Report();
    }
}

// Listed is enough, whatever the attributes.
TEST_F(AdministratorTest, AnAdministratorIsOneWhoseTokenListsTheAdministrators) {
    const SID_AND_ATTRIBUTES everyone = {m_everyone.get(), SE_GROUP_ENABLED};
    const SID_AND_ATTRIBUTES users = {m_users.get(), SE_GROUP_ENABLED};
    const struct {
        std::vector<SID_AND_ATTRIBUTES> groups;
        int admin;
    } cases[] = {
        {{}, 0},
        {{everyone}, 0},
        {{everyone, users}, 0},
        {{everyone, users, {m_administrators.get(), SE_GROUP_ENABLED | SE_GROUP_MANDATORY}}, 1},
        {{everyone, users, {m_administrators.get(), SE_GROUP_USE_FOR_DENY_ONLY}}, 1},
        {{everyone, users, {m_administrators.get(), 0}}, 1},
    };
    for (const auto& c : cases) {
        UseGroups(c.groups);
        ResourceCounter counter;
        EXPECT_EQ(c.admin, m_env.CheckAdministrator()) << c.groups.size();
        EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
        EXPECT_EQ(0, counter.StrayReleases()) << counter.Report();
    }
}

// Every step that can fail, failed in turn: never an administrator, never a
// handle, heap block or SID left behind, never one released twice.
template <auto Entry, typename R>
void ExpectEveryFailureDenies(InstallEnvironment& env, R result, DWORD error, const char* name) {
    FailEachCallInTurn<Entry>(result, error, [&](int nth, const auto& fault) {
        ResourceCounter counter;
        const int admin = env.CheckAdministrator();
        if (fault.fired() == 0) return;
        EXPECT_EQ(0, admin) << name << " #" << nth;
        EXPECT_EQ(0, counter.Outstanding()) << name << " #" << nth << " " << counter.Report();
        EXPECT_EQ(0, counter.StrayReleases()) << name << " #" << nth << " " << counter.Report();
    });
}

TEST_F(AdministratorTest, EveryFailureDeniesAndReleasesEverything) {
    ExpectEveryFailureDenies<&OsCalls::OpenProcessToken>(m_env, FALSE, ERROR_ACCESS_DENIED,
                                                         "OpenProcessToken");
    ExpectEveryFailureDenies<&OsCalls::GetTokenInformation>(m_env, FALSE, ERROR_ACCESS_DENIED,
                                                            "GetTokenInformation");
    ExpectEveryFailureDenies<&OsCalls::LocalAlloc>(m_env, HLOCAL(nullptr), ERROR_NOT_ENOUGH_MEMORY,
                                                   "LocalAlloc");
    ExpectEveryFailureDenies<&OsCalls::AllocateAndInitializeSid>(m_env, FALSE,
                                                                 ERROR_NOT_ENOUGH_MEMORY,
                                                                 "AllocateAndInitializeSid");
}

// Succeeding, or failing for another reason, leaves no size to trust.
TEST_F(AdministratorTest, TheSizeQueryMustFailForWantOfBuffer) {
    ResourceCounter counter;
    for (const auto& answer : {std::pair<BOOL, DWORD>{TRUE, 0}, {FALSE, ERROR_BAD_LENGTH}}) {
        OsFault<&OsCalls::GetTokenInformation> fault(1, answer.first, answer.second);
        EXPECT_EQ(0, m_env.CheckAdministrator()) << answer.second;
    }
    EXPECT_EQ(0, counter.Acquired(ResourceCounter::kHeap));
    EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
}

// Refused the thread's token, the check does not try the process's, which
// would say yes here.
TEST_F(AdministratorTest, OnlyAThreadWithoutATokenFallsBackToTheProcess) {
    for (const auto& answer : {std::pair<DWORD, int>{ERROR_ACCESS_DENIED, 0}, {ERROR_NO_TOKEN, 1}}) {
        OsFault<&OsCalls::OpenThreadToken> thread(1, FALSE, answer.first);
        EXPECT_EQ(answer.second, m_env.CheckAdministrator()) << answer.first;
    }
}

TEST_F(ProbeTest, OnlyAJapanesePrimaryLanguageGivesJapanese) {
    m_guard.Set(&OsCalls::GetUserDefaultLangID, &FakeUserLanguage);
    const struct {
        WORD id;
        bool japanese;
    } cases[] = {
        {0x0411, true},  {0x0011, true},  {0x0811, true},  {0xFC11, true},
        {0x0409, false}, {0x0809, false}, {0x0412, false}, {0x0804, false},
        {0x0000, false}, {0x0011 | 0x0400 | 0x0100, false},
    };
    for (const auto& c : cases) {
        ClearLog();
        g_langId = c.id;
        const int language = c.japanese ? QMX_LANG_JAPANESE : QMX_LANG_ENGLISH;
        const std::string name = c.japanese ? "QMX_LANG_JAPANESE" : "QMX_LANG_ENGLISH";
        EXPECT_EQ(language, m_env.CheckLanguageEnv()) << c.id;
        EXPECT_EQ(language, m_env.GetMachine().language) << c.id;
        EXPECT_EQ("CheckLanguageEnv : " + name + ".\r\n", LogText()) << c.id;
    }
}

// The folder as Windows reports it; a failed or overlong answer leaves the
// folder as it was.
TEST_F(ProbeTest, SystemDirectoryIsWindowsAnswerOrStaysAsItWas) {
    char expected[MAX_PATH];
    ASSERT_NE(0u, ::GetSystemDirectoryA(expected, MAX_PATH));
    const std::string previous = m_env.GetSystemDir();
    EXPECT_EQ(expected, previous);
    EXPECT_EQ(expected, m_env.GetMachine().systemDir);
    {
        OsFault<&OsCalls::GetSystemDirectoryA> fault(1, 0, ERROR_ACCESS_DENIED);
        m_env.GetSystemDir();
    }
    EXPECT_EQ(previous, m_env.GetMachine().systemDir);
    m_guard.Set(&OsCalls::GetSystemDirectoryA, &SystemDirectoryTooLong);
    m_env.GetSystemDir();
    EXPECT_EQ(previous, m_env.GetMachine().systemDir);
}

TEST_F(ProbeTest, ProgramFolderIsTheRunningExecutablesFolder) {
    char exe[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::string expected(exe, length);
    expected.erase(expected.rfind('\\'));
    m_env.GetProgramDir();
    EXPECT_EQ(expected, m_env.GetMachine().programDir);
}

// A path Windows cuts to the buffer, or none at all, leaves the folder empty.
TEST_F(ProbeTest, ProgramFolderIsDriveAndFolderWithoutTheTrailingBackslash) {
    m_guard.Set(&OsCalls::GetModuleFileNameA, &FakeGetModuleFileNameA);
    m_guard.Set(&OsCalls::IsDBCSLeadByte, &ShiftJisLeadByte);
    const struct {
        std::string path;
        const char* folder;
    } rows[] = {
        {"C:\\QMXSET.EXE", "C:"},
        {"D:\\TOOLS\\QMX\\QMXSET.EXE", "D:\\TOOLS\\QMX"},
        {"D:\\TOOLS\\QMX\\QMXSET", "D:\\TOOLS\\QMX"},
        {"\\\\SERVER\\SHARE\\QMXSET.EXE", "\\\\SERVER\\SHARE"},
        {"D:/TOOLS/QMXSET.EXE", "D:/TOOLS"},
        // A double-byte character's trail backslash is never a separator: in
        // the file name, and at the end of a folder's name.
        {"C:\\APP\\\x83\\.EXE", "C:\\APP"},
        {"C:\\\x83\\\\QMXSET.EXE", "C:\\\x83\\"},
        {"C:\\" + std::string(250, 'D') + "\\QMXSET.EXE", ""},
    };
    for (const auto& row : rows) {
        InstallEnvironment env;
        g_modulePath = row.path;
        env.GetProgramDir();
        EXPECT_EQ(row.folder, env.GetMachine().programDir) << row.path;
    }
    OsFault<&OsCalls::GetModuleFileNameA> fault(1, 0, ERROR_ACCESS_DENIED);
    m_env.GetProgramDir();
    EXPECT_EQ("", m_env.GetMachine().programDir);
}
