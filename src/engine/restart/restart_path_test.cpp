// The restart path as the run reads it: the move lists the registry serves,
// odd ones included, decide through the same reader as the real ones; and
// Restart Manager's answers about who holds a module in use.
#include <windows.h>
#include <restartmanager.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/local/file_deployment.h"
#include "engine/run/module_decision.h"
#include "engine/run/installation_run.h"
#include "engine/restart/letter_shift.h"
#include "engine/restart/module_holders.h"
#include "engine/restart/restart_schedule.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/logged_test.h"
#include "platform/os_calls.h"
#include "support/restart_schedule.h"
#include "support/temp_dir.h"
#include "support/scratch_deployment.h"

namespace {

// The two move lists as the fake registry serves them; absent when empty.
std::string g_moves[2];

LONG WINAPI ServeMoves(HKEY, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    const std::string& value = g_moves[std::strcmp(name, "PendingFileRenameOperations2") == 0 ? 1 : 0];
    if (value.empty()) return ERROR_FILE_NOT_FOUND;
    *type = REG_MULTI_SZ;
    const DWORD room = *size;
    *size = static_cast<DWORD>(value.size());
    if (!data) return ERROR_SUCCESS;
    if (room < value.size()) return ERROR_MORE_DATA;
    std::memcpy(data, value.data(), value.size());
    return ERROR_SUCCESS;
}

// Short names looked up: each is a search of the folder.
int g_shortLookups = 0;
DWORD WINAPI CountShortLookup(LPCSTR path, LPSTR name, DWORD size) {
    ++g_shortLookups;
    return ::GetShortPathNameA(path, name, size);
}

// A short form that only a buffer sized by asking first can hold, for one
// path: the reader of the lists must look it up as the staging does.
std::string g_longFormOf;
std::string g_longForm;
DWORD WINAPI LongShortForm(LPCSTR path, LPSTR name, DWORD size) {
    ++g_shortLookups;
    if (g_longFormOf != path) return ::GetShortPathNameA(path, name, size);
    if (size <= g_longForm.size()) return static_cast<DWORD>(g_longForm.size() + 1);
    std::memcpy(name, g_longForm.c_str(), g_longForm.size() + 1);
    return static_cast<DWORD>(g_longForm.size());
}

std::string Names(std::initializer_list<std::string> names) {
    std::string bytes;
    for (const std::string& name : names) bytes += name + '\0';
    return bytes + '\0';
}

class RestartPath : public ScratchDeployment {
protected:
    void SetUp() override {
        ScratchDeployment::SetUp();
        g_moves[0].clear();
        g_moves[1].clear();
        m_guard.Set(&OsCalls::RegQueryValueExA, &ServeMoves);
        m_guard.Set(&OsCalls::GetShortPathNameA, &CountShortLookup);
    }
    void Put(const std::string& fixture, const std::string& path) {
        ASSERT_TRUE(::CopyFileA(FixturePath(fixture).c_str(), path.c_str(), FALSE)) << fixture;
    }
    std::string Dest() const { return m_system.File("X.DLL"); }
    std::string Staging() const { return ShiftLastLetterOf(Dest(), 0); }
    std::string ShortDest() const {
        char name[MAX_PATH];
        const DWORD length = ::GetShortPathNameA(Dest().c_str(), name, MAX_PATH);
        return std::string(name, length);
    }

    OsCallsGuard m_guard;
};

}  // namespace

// Whatever shape the lists come in, an operation of another program's on the
// module asks for a restart first and leaves the module alone; anything else
// on the list lets it be replaced.
TEST_F(RestartPath, OddListsFromTheRegistryDecideTheModule) {
    Put("V2_9.DLL", Dest());  // so that it has a short name
    const struct {
        const char* what;
        std::string moves[2];
        uint32_t outcome;
    } cases[] = {
        {"no list", {"", ""}, QMX_INST_COPIED},
        {"others' files only", {Names({"\\??\\C:\\A.TMP", "", "\\??\\C:\\B.NEW", "!\\??\\C:\\X.DLL"}), ""},
         QMX_INST_COPIED},
        {"a delete, in the second list", {"", Names({"\\??\\" + Dest(), ""})}, QMX_INST_RESTART_FIRST},
        {"Windows 11's prefix, other case",
         {Names({"*1\\??\\C:\\NEW.TMP", "!*1\\??\\" + std::string(Dest()).replace(0, 1, "c")}), ""},
         QMX_INST_RESTART_FIRST},
        {"the short name moved away", {Names({"\\??\\" + ShortDest(), "!\\??\\C:\\OLD.DLL"}), ""},
         QMX_INST_RESTART_FIRST},
        {"the last target cut off", {std::string("\\??\\C:\\A.TMP\0\0", 14) + "\\??\\" + Dest(), ""},
         QMX_INST_RESTART_FIRST},
        {"an empty source first", {Names({"", "", "\\??\\C:\\NEW.TMP", "!\\??\\" + Dest()}), ""},
         QMX_INST_RESTART_FIRST},
    };
    for (const auto& c : cases) {
        env.EndRun();  // each case a run of its own, which reads the lists afresh
        ClearLog();
        Put("V2_10.DLL", m_program.File("X.DLL"));
        Put("V2_9.DLL", Dest());
        g_moves[0] = c.moves[0];
        g_moves[1] = c.moves[1];
        g_shortLookups = 0;
        EXPECT_EQ(c.outcome, env.Deploy("X.DLL", machine).bit) << c.what;
        // Only a list that may hold a short name needs the module's.
        const bool shortNamed = (c.moves[0] + c.moves[1]).find('~') != std::string::npos;
        EXPECT_EQ(shortNamed, g_shortLookups > 0) << c.what;
        const bool restartFirst = c.outcome == QMX_INST_RESTART_FIRST;
        EXPECT_EQ(restartFirst, LogText().find("CopyTargetFile - Restart pending for " + Dest() + ".\r\n") !=
                                    std::string::npos)
            << c.what;
        EXPECT_TRUE(FileText(FixturePath(restartFirst ? "V2_9.DLL" : "V2_10.DLL")) == FileText(Dest())) << c.what;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(Staging().c_str())) << c.what;
    }
}

// Another program's operation that names a long-named module by its short
// name is found, through the short names looked up for it.
TEST_F(RestartPath, AModuleNamedByItsShortNameIsFound) {
    const std::string module = m_system.File("LONGMODULE.DLL");
    Put("V2_10.DLL", m_program.File("LONGMODULE.DLL"));
    Put("V2_9.DLL", module);
    char shortName[MAX_PATH];
    const DWORD length = ::GetShortPathNameA(module.c_str(), shortName, MAX_PATH);
    ASSERT_NE(std::string::npos, std::string(shortName, length).find('~')) << shortName;
    g_moves[0] = Names({"\\??\\" + std::string(shortName, length), ""});
    g_shortLookups = 0;
    EXPECT_EQ(QMX_INST_RESTART_FIRST, env.Deploy("LONGMODULE.DLL", machine).bit);
    EXPECT_GT(g_shortLookups, 0);
    EXPECT_TRUE(FileText(FixturePath("V2_9.DLL")) == FileText(module));
}

TEST_F(RestartPath, AShortNameLongerThanMaxPathIsReadAsTheStagingWritesIt) {
    Put("V2_10.DLL", m_program.File("X.DLL"));
    Put("V2_9.DLL", Dest());
    g_longFormOf = Dest();
    g_longForm = "C:\\" + std::string(MAX_PATH, 'A') + "~1.DLL";
    m_guard.Set(&OsCalls::GetShortPathNameA, &LongShortForm);
    ASSERT_EQ(g_longForm, ShortPathOf(Dest()));
    g_moves[0] = Names({"\\??\\" + g_longForm, ""});
    EXPECT_EQ(QMX_INST_RESTART_FIRST, env.Deploy("X.DLL", machine).bit);
    EXPECT_TRUE(FileText(FixturePath("V2_9.DLL")) == FileText(Dest()));
}

// Our own pair waiting, the module free and a newer package: the module is
// not touched now, the newer copy goes to the staged name and the pair is not
// scheduled a second time.
TEST_F(RestartPath, OurPairWaitingKeepsTheModuleOnTheRestartPath) {
    Put("V2_10.DLL", m_program.File("X.DLL"));
    Put("V2_9.DLL", Dest());
    Put("V1_0.DLL", Staging());
    g_moves[0] = Names({"\\??\\" + Staging(), "!\\??\\" + Dest()});
    const PendingRenames before = ReadPendingRenames();
    EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(before.bytes, ReadPendingRenames().bytes);
    EXPECT_TRUE(FileText(FixturePath("V2_9.DLL")) == FileText(Dest()));
    EXPECT_TRUE(FileText(FixturePath("V2_10.DLL")) == FileText(Staging()));
    EXPECT_EQ(std::string::npos, LogText().find("LockDestFile"));
}

// An all-or-nothing run never writes over a copy an earlier run staged, as
// its rollback could not give that copy back: it asks for the restart first
// and puts back Y, which it replaced before. A staged copy as new as the
// package's is left waiting, as in any run.
TEST_F(RestartPath, AllOrNothingRunLeavesOurStagedCopyAndAsksForTheRestart) {
    const struct {
        const char* staged;
        bool allOrNothing;
        uint32_t outcome;
        const char* stagedAfter;
        const char* yAfter;
    } kCases[] = {
        {"V1_0.DLL", true, QMX_INST_RESTART_FIRST, "V1_0.DLL", "V2_9.DLL"},
        {"V1_0.DLL", false, QMX_INST_COPIED | QMX_INST_ON_REBOOT, "V2_10.DLL", "V2_10.DLL"},
        {"V2_10.DLL", true, QMX_INST_COPIED | QMX_INST_ON_REBOOT, "V2_10.DLL", "V2_10.DLL"},
    };
    machine.platformId = 2;
    machine.majorVersion = 5;
    const std::string list = m_program.File("QMX_CHG.DAT");
    for (const auto& c : kCases) {
        const std::string what = std::string(c.staged) + (c.allOrNothing ? " all or nothing" : "");
        Put("V2_10.DLL", m_program.File("X.DLL"));
        Put("V2_10.DLL", m_program.File("Y.DLL"));
        Put("V2_9.DLL", Dest());
        Put("V2_9.DLL", m_system.File("Y.DLL"));
        Put(c.staged, Staging());
        g_moves[0] = Names({"\\??\\" + Staging(), "!\\??\\" + Dest()});
        WriteWholeFile(list, std::string("[Install]\r\n2:5\r\n[File]\r\nY.DLL\r\nX.DLL\r\n") +
                                 (c.allOrNothing ? "[Rollback]\r\nON\r\n" : ""));
        ClearLog();
        InstallationRun run(machine, env, list);
        EXPECT_EQ(c.outcome, run.Run().outcome) << what;
        EXPECT_TRUE(FileText(FixturePath(c.stagedAfter)) == FileText(Staging())) << what;
        EXPECT_TRUE(FileText(FixturePath(c.yAfter)) == FileText(m_system.File("Y.DLL"))) << what;
        EXPECT_TRUE(FileText(FixturePath("V2_9.DLL")) == FileText(Dest())) << what;
        EXPECT_EQ(c.outcome == QMX_INST_RESTART_FIRST,
                  LogText().find("CopyTargetFile - Restart pending for " + Dest() + ".\r\n") != std::string::npos)
            << what;
    }
}

namespace {

// A Restart Manager of the test's own, handed out in place of rstrtmgr.dll's.
struct FakeRm {
    std::string loaded;      // the library asked for, and its flags
    DWORD startResult = ERROR_SUCCESS;
    DWORD listResult = ERROR_SUCCESS;
    UINT holders = 0;
    bool lacksGetList = false;
    std::wstring registered;  // the file asked about
    int ended = 0;
} g_rm;

HMODULE const kFakeModule = reinterpret_cast<HMODULE>(0x5A50000);

HMODULE WINAPI LoadFakeRm(LPCSTR name, HANDLE, DWORD flags) {
    g_rm.loaded = std::string(name) + " " + std::to_string(flags);
    return kFakeModule;
}
HMODULE WINAPI LoadNothing(LPCSTR, HANDLE, DWORD) { return nullptr; }
BOOL WINAPI FreeFakeRm(HMODULE module) { return module == kFakeModule; }
DWORD WINAPI FakeStart(DWORD* session, DWORD, WCHAR*) {
    *session = 7;
    return g_rm.startResult;
}
DWORD WINAPI FakeRegister(DWORD session, UINT files, LPCWSTR names[], UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*) {
    if (session != 7 || files != 1) return ERROR_INVALID_PARAMETER;
    g_rm.registered = names[0];
    return ERROR_SUCCESS;
}
DWORD WINAPI FakeGetList(DWORD, UINT* needed, UINT* count, RM_PROCESS_INFO* info, LPDWORD reasons) {
    *reasons = 0;
    if (g_rm.listResult != ERROR_SUCCESS) return g_rm.listResult;
    *needed = g_rm.holders;
    if (*count < g_rm.holders) {
        *count = 0;
        return g_rm.holders ? ERROR_MORE_DATA : ERROR_SUCCESS;
    }
    for (UINT i = 0; i < g_rm.holders; ++i) {
        info[i] = RM_PROCESS_INFO();
        info[i].Process.dwProcessId = 100 + i;
        const std::wstring name = L"App " + std::to_wstring(i);
        std::memcpy(info[i].strAppName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    }
    *count = g_rm.holders;
    return ERROR_SUCCESS;
}
DWORD WINAPI FakeEnd(DWORD session) {
    g_rm.ended += session == 7;
    return ERROR_SUCCESS;
}
FARPROC WINAPI OfferFakeRm(HMODULE module, LPCSTR name) {
    if (module != kFakeModule) return nullptr;
    const struct {
        const char* name;
        void* function;
    } table[] = {{"RmStartSession", reinterpret_cast<void*>(&FakeStart)},
                 {"RmRegisterResources", reinterpret_cast<void*>(&FakeRegister)},
                 {"RmGetList", g_rm.lacksGetList ? nullptr : reinterpret_cast<void*>(&FakeGetList)},
                 {"RmEndSession", reinterpret_cast<void*>(&FakeEnd)}};
    for (const auto& entry : table) {
        if (std::strcmp(entry.name, name) == 0) return reinterpret_cast<FARPROC>(entry.function);
    }
    return nullptr;
}

std::string HolderLines(UINT count) {
    std::string lines;
    for (UINT i = 0; i < count; ++i) {
        lines += "CopyTargetFile - In use by App " + std::to_string(i) + " (" + std::to_string(100 + i) + ").\r\n";
    }
    return lines;
}

class ModuleHolders : public LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        g_rm = FakeRm();
        m_guard.Set(&OsCalls::LoadLibraryExA, &LoadFakeRm);
        m_guard.Set(&OsCalls::FreeLibrary, &FreeFakeRm);
        m_guard.Set(&OsCalls::GetProcAddress, &OfferFakeRm);
    }
    OsCallsGuard m_guard;
};

}  // namespace

TEST_F(ModuleHolders, EachHolderIsLoggedUpToEight) {
    const struct {
        UINT holders;
        UINT lines;
    } cases[] = {{0, 0}, {1, 1}, {8, 8}, {11, 8}};
    for (const auto& c : cases) {
        ClearLog();
        g_rm.holders = c.holders;
        g_rm.ended = 0;
        LogModuleHolders("C:\\WINDOWS\\SYSTEM32\\X.DLL");
        EXPECT_EQ(HolderLines(c.lines), LogText()) << c.holders;
        EXPECT_EQ(L"C:\\WINDOWS\\SYSTEM32\\X.DLL", g_rm.registered);
        EXPECT_EQ(1, g_rm.ended) << c.holders;
    }
    // From the system folder by full path, never by bare name.
    char system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(std::string(system, length) + "\\rstrtmgr.dll " + std::to_string(LOAD_WITH_ALTERED_SEARCH_PATH),
              g_rm.loaded);
}

TEST_F(ModuleHolders, NothingIsLoggedWhereRestartManagerCannotTell) {
    g_rm.holders = 3;
    for (int failure = 0; failure < 4; ++failure) {
        ClearLog();
        g_rm.startResult = failure == 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        g_rm.listResult = failure == 1 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        g_rm.lacksGetList = failure == 2;
        if (failure == 3) m_guard.Set(&OsCalls::LoadLibraryExA, &LoadNothing);
        LogModuleHolders("C:\\WINDOWS\\SYSTEM32\\X.DLL");
        EXPECT_EQ("", LogText()) << failure;
    }
}

// Asked only about a module that must be staged: one in use, not one that is
// replaced now.
TEST_F(RestartPath, OnlyAModuleInUseIsAskedAbout) {
    g_rm = FakeRm();
    g_rm.holders = 2;
    m_guard.Set(&OsCalls::LoadLibraryExA, &LoadFakeRm);
    m_guard.Set(&OsCalls::FreeLibrary, &FreeFakeRm);
    m_guard.Set(&OsCalls::GetProcAddress, &OfferFakeRm);
    for (const bool inUse : {true, false}) {
        env.EndRun();
        ClearLog();
        g_rm.registered.clear();
        ::DeleteFileA(Staging().c_str());
        Put("V2_10.DLL", m_program.File("X.DLL"));
        Put("V2_9.DLL", Dest());
        const HANDLE holder = inUse ? ::CreateFileA(Dest().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                    : INVALID_HANDLE_VALUE;
        EXPECT_EQ(inUse ? QMX_INST_ON_REBOOT : QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << inUse;
        if (holder != INVALID_HANDLE_VALUE) ::CloseHandle(holder);
        const std::string text = LogText();
        const size_t probe = text.find("LockDestFile : QMX_LOCK_INUSE");
        EXPECT_EQ(inUse, probe != std::string::npos && text.find(HolderLines(2), probe) != std::string::npos)
            << text;
        const std::string dest = Dest();
        EXPECT_EQ(inUse ? std::wstring(dest.begin(), dest.end()) : std::wstring(), g_rm.registered);
    }
}
