// Memory running out in mid-run: the run goes no further, and what the
// program reports keeps the bits the run had gathered, with 0x08.
#include <gtest/gtest.h>

#include "engine/run/installation_run.h"
#include "platform/out_of_memory.h"
#include "support/allocation_cap.h"
#include "support/os_fault.h"
#include "support/scratch_deployment.h"

namespace {

// The shipped program's handler reports and exits; this one reports and
// leaves the run by an exception, which only the tests are built with.
struct Abandoned {};
RunResult g_reported;
void ReportAndLeave() {
    g_reported = InstallationRun::ResultOnOutOfMemory();
    throw Abandoned();
}

// Memory runs out at the second module's lock probe, in its decision.
std::string g_exhaustedAt;
HANDLE WINAPI ExhaustedAtTheProbe(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD how, DWORD flags, HANDLE pattern) {
    if (g_exhaustedAt == path && share == 0) OutOfMemory();
    return RealOsCalls().CreateFileA(path, access, share, security, how, flags, pattern);
}

class OutOfMemoryRun : public ScratchDeployment {
protected:
    void Put(const std::string& path, const std::string& bytes, WORD year) {
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SYSTEMTIME time = {year, 6, 0, 1, 12, 0, 0, 0};
        FILETIME written;
        ::SystemTimeToFileTime(&time, &written);
        ::SetFileTime(file, nullptr, nullptr, &written);
        ::CloseHandle(file);
    }
    void Newer(const std::string& name) {
        Put(m_system.File(name), "installed " + name, 2001);
        Put(m_program.File(name), "shipped " + name, 2002);
    }
    // A run over files, in a change list that targets this machine, with
    // single allocations capped at cap bytes (0: none); its report once
    // memory ran out.
    RunResult RunAbandoned(const std::string& files, size_t cap = 0) {
        const std::string changeList = m_program.File("QMX_CHG.DAT");
        machine.platformId = 2;
        machine.majorVersion = 10;
        EXPECT_TRUE(WriteWholeFile(changeList, "[Install]\r\n2:10\r\n[File]\r\n" + files));
        InstallationRun run(machine, env, changeList);
        const OutOfMemoryHandler before = SetOutOfMemoryHandler(&ReportAndLeave);
        g_reported = RunResult();
        bool left = false;
        try {
            AllocationCap capped(cap);
            run.Run();
        } catch (const Abandoned&) {
            left = true;
        }
        SetOutOfMemoryHandler(before);
        EXPECT_TRUE(left) << "the run went on";
        return g_reported;
    }
};

}  // namespace

TEST_F(OutOfMemoryRun, KeepsWhatTheRunGatheredAndGoesNoFurther) {
    Newer("QMXA.DLL");
    Newer("QMXB.DLL");
    Newer("QMXC.DLL");
    g_exhaustedAt = m_system.File("QMXB.DLL");
    OsCallsGuard guard;
    guard.Set(&OsCalls::CreateFileA, &ExhaustedAtTheProbe);
    const RunResult reported = RunAbandoned("QMXA.DLL\r\nQMXB.DLL\r\nQMXC.DLL\r\n");
    EXPECT_EQ(QMX_INST_COPIED | QMX_INST_NOT_APPLICABLE, reported.outcome);
    EXPECT_EQ(1, reported.brokenPackage);
    EXPECT_EQ(QMX_EXIT_PACKAGE_INVALID, QuietExitCode(reported));
    EXPECT_EQ("shipped QMXA.DLL", FileText(m_system.File("QMXA.DLL")));
    EXPECT_EQ("installed QMXB.DLL", FileText(m_system.File("QMXB.DLL")));
    EXPECT_EQ("installed QMXC.DLL", FileText(m_system.File("QMXC.DLL")));
}

// A [File] line of 4 MB that cannot be held a second time: the list counts
// as unreadable before any module is compared.
TEST_F(OutOfMemoryRun, ALineTooLongToHoldTwiceEndsTheRunBeforeAnyModule) {
    Newer("QMXA.DLL");
    const RunResult reported = RunAbandoned("QMXA.DLL\r\n" + std::string(4 << 20, 'B') + "\r\n", 1 << 20);
    EXPECT_EQ(QMX_INST_NOT_APPLICABLE, reported.outcome);
    EXPECT_EQ(0, reported.brokenPackage);
    EXPECT_EQ("installed QMXA.DLL", FileText(m_system.File("QMXA.DLL")));
    EXPECT_NE(std::string::npos, LogText().find("PrepareInstallation Append - QMXA.DLL\r\n"));
    EXPECT_EQ(std::string::npos, LogText().find("CompareTimeStamp"));
}

TEST(OutOfMemoryResult, WithoutARunIsNotApplicableAlone) {
    const RunResult reported = InstallationRun::ResultOnOutOfMemory();
    EXPECT_EQ(QMX_INST_NOT_APPLICABLE, reported.outcome);
    EXPECT_EQ(0, reported.brokenPackage);
}
