// Modules that Windows protects: asked only when the package's copy is newer,
// never replaced or staged, and nothing is protected where the system has no
// answer to give.
#include "engine/local/protected_module.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/local/file_deployment.h"
#include "engine/run/module_decision.h"
#include "engine/restart/letter_shift.h"
#include "log/debug_log.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/os_fault.h"
#include "support/resource_counter.h"
#include "support/restart_schedule.h"
#include "support/scratch_deployment.h"
#include "support/temp_dir.h"

namespace {

// A SfcIsFileProtected of the test's own, handed out in place of sfc.dll's:
// it records the paths asked and answers g_answer.
std::vector<std::wstring> g_asked;
BOOL g_answer = FALSE;
BOOL WINAPI FakeSfcIsFileProtected(HANDLE rpc, LPCWSTR path) {
    if (rpc != nullptr) return FALSE;
    g_asked.push_back(path);
    return g_answer;
}
// The library names asked for, to see which sfc.dll was loaded.
std::vector<std::string> g_loaded;
HMODULE WINAPI RecordLoad(LPCSTR name, HANDLE file, DWORD flags) {
    g_loaded.push_back(std::string(name) + " " + std::to_string(flags));
    return RealOsCalls().LoadLibraryExA(name, file, flags);
}
FARPROC WINAPI OfferFake(HMODULE module, LPCSTR name) {
    if (HIWORD(name) != 0 && std::strcmp(name, "SfcIsFileProtected") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FakeSfcIsFileProtected));
    }
    return RealOsCalls().GetProcAddress(module, name);
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class ProtectedModule : public ScratchDeployment {
protected:
    void SetUp() override {
        ScratchDeployment::SetUp();
        g_asked.clear();
        g_loaded.clear();
        g_answer = TRUE;
        m_guard.Set(&OsCalls::LoadLibraryExA, &RecordLoad);
        m_guard.Set(&OsCalls::GetProcAddress, &OfferFake);
        // Loaded again, through the recorders.
        env.EndRun();
    }

    void Put(const std::string& fixture, const std::string& path) {
        ASSERT_TRUE(::CopyFileA(FixturePath(fixture).c_str(), path.c_str(), FALSE)) << fixture;
    }
    std::string Source() const { return m_program.File("X.DLL"); }
    std::string Dest() const { return m_system.File("X.DLL"); }
    std::string Staging() const { return ShiftLastLetterOf(Dest(), 0); }

    OsCallsGuard m_guard;
};

}  // namespace

// Free or in use, a protected module is failed with its own line, before the
// lock probe: not replaced, not staged, nothing scheduled.
TEST_F(ProtectedModule, NewerPackageCopyOfAProtectedModuleFailsAndTouchesNothing) {
    for (const bool inUse : {false, true}) {
        Put("V2_10.DLL", Source());
        Put("V2_9.DLL", Dest());
        ClearLog();
        g_asked.clear();
        const size_t pendingBefore = ReadRestartSchedule().pendingRenames.bytes.size();
        HANDLE holder = inUse ? ::CreateFileA(Dest().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, 0, nullptr)
                              : INVALID_HANDLE_VALUE;
        ResourceCounter counter;
        EXPECT_EQ(QMX_INST_FAILED, env.Deploy("X.DLL", machine).bit) << inUse;
        env.EndRun();
        EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
        if (holder != INVALID_HANDLE_VALUE) ::CloseHandle(holder);

        EXPECT_EQ("CompareTimeStamp [4a] - " + Source() + " is \"2.10\".\r\n" +
                      "CompareTimeStamp [4b] - " + Dest() + " is \"2.9\".\r\n" +
                      "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (2).\r\n" +
                      "CopyTargetFile - Protected by Windows " + Dest() + ".\r\n",
                  LogText());
        EXPECT_EQ(std::vector<std::wstring>{Wide(Dest())}, g_asked);
        EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest()));
        EXPECT_FALSE(PathExists(Staging())) << inUse;
        EXPECT_EQ(pendingBefore, ReadRestartSchedule().pendingRenames.bytes.size());
    }
    // The system folder's own sfc.dll, by its full path.
    char system[MAX_PATH];
    ASSERT_NE(0u, ::GetSystemDirectoryA(system, MAX_PATH));
    EXPECT_EQ(std::string(system) + "\\sfc.dll " + std::to_string(LOAD_WITH_ALTERED_SEARCH_PATH),
              g_loaded.at(0));
}

// Nothing would change, so Windows is not asked: the usual 0x02.
TEST_F(ProtectedModule, ProtectedModuleAsNewOrNewerIsSkippedWithoutAsking) {
    for (const char* installed : {"V2_10.DLL", "V3_0.DLL"}) {
        Put("V2_10.DLL", Source());
        Put(installed, Dest());
        EXPECT_EQ(QMX_INST_SKIPPED, env.Deploy("X.DLL", machine).bit) << installed;
        EXPECT_TRUE(g_asked.empty()) << installed;
        EXPECT_TRUE(g_loaded.empty()) << installed;
        EXPECT_EQ(FileText(FixturePath(installed)), FileText(Dest()));
    }
}

// 95/98/Me and NT 4.0 have no sfc.dll, or one without the function; a path
// that the code page cannot convert cannot be asked about. Nothing is
// protected there, and the module is replaced as always.
TEST_F(ProtectedModule, NoAnswerToBeHadMeansNotProtected) {
    const struct {
        const char* why;
        bool dllAbsent;
        bool functionAbsent;
        bool noConversion;
    } cases[] = {
        {"no sfc.dll", true, false, false},
        {"no SfcIsFileProtected", false, true, false},
        {"path not convertible", false, false, true},
    };
    for (const auto& c : cases) {
        Put("V2_10.DLL", Source());
        Put("V2_9.DLL", Dest());
        g_asked.clear();
        OsCallsGuard guard;
        std::unique_ptr<OsFault<&OsCalls::LoadLibraryExA>> noDll;
        std::unique_ptr<OsFault<&OsCalls::GetProcAddress>> noFunction;
        std::unique_ptr<OsFault<&OsCalls::MultiByteToWideChar>> noConversion;
        if (c.dllAbsent) noDll.reset(new OsFault<&OsCalls::LoadLibraryExA>(1, nullptr, ERROR_MOD_NOT_FOUND));
        if (c.functionAbsent) guard.Set(&OsCalls::GetProcAddress, RealOsCalls().GetProcAddress);
        if (c.functionAbsent) noFunction.reset(new OsFault<&OsCalls::GetProcAddress>(1, nullptr, ERROR_PROC_NOT_FOUND));
        if (c.noConversion) noConversion.reset(new OsFault<&OsCalls::MultiByteToWideChar>(1, 0, ERROR_NO_UNICODE_TRANSLATION));
        ResourceCounter counter;
        EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << c.why;
        env.EndRun();
        EXPECT_EQ(0, counter.Outstanding()) << c.why << " " << counter.Report();
        EXPECT_TRUE(g_asked.empty()) << c.why;
        EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Dest())) << c.why;
    }
}

// Wine's own sfc.dll, like a system without protection, says no.
TEST_F(ProtectedModule, RealSystemIsAskedAndAnswers) {
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetProcAddress, RealOsCalls().GetProcAddress);
    char system[MAX_PATH];
    ASSERT_NE(0u, ::GetSystemDirectoryA(system, MAX_PATH));
    ResourceCounter counter;
    ProtectionCheck check;
    EXPECT_FALSE(check.IsProtected(std::string(system) + "\\QMXNOSUCH.DLL"));
    EXPECT_EQ(1, counter.Acquired(ResourceCounter::kLibrary));
    check.Release();
    EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
}

// A run loads sfc.dll once, at its first newer module, whatever it answers,
// and frees it at its end.
TEST_F(ProtectedModule, RunLoadsTheLibraryOnceAndFreesItAtItsEnd) {
    g_answer = FALSE;
    ResourceCounter counter;
    for (int module = 0; module < 3; ++module) {
        Put("V2_10.DLL", Source());
        Put("V2_9.DLL", Dest());
        EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << module;
    }
    EXPECT_EQ(3u, g_asked.size());
    EXPECT_EQ(1u, g_loaded.size());
    EXPECT_EQ(1, counter.Outstanding()) << counter.Report();
    env.EndRun();
    EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
}
