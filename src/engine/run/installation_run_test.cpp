// Whole installation runs in process, with the real engine and change-list
// reader on a scratch machine: which modules a run reaches, in which order,
// what it refuses, and what an all-or-nothing run puts back.
#include <gtest/gtest.h>

#include "engine/local/local_installation.h"
#include "engine/run/installation_run.h"
#include "engine/undo/run_journal.h"
#include "log/debug_log.h"
#include "support/os_fault.h"
#include "support/pe_image_bytes.h"
#include "support/scratch_machine.h"

namespace {

class RunTest : public ScratchMachine {
protected:
    // The whole run on this machine, as the dialog and the quiet run make it.
    RunResult Run(bool undo = false) {
        LocalInstallation installation;
        installation.ApplyLogSwitch(0);
        return installation.Run(undo);
    }

    // QMXA.DLL and QMXB.DLL installed ("installed a", 2001), and shipped
    // newer ("shipped a", 2002).
    void PutTwoModules() {
        for (const std::string letter : {"a", "b"}) {
            const std::string name = "QMX" + std::string(1, static_cast<char>(letter[0] - 'a' + 'A')) + ".DLL";
            PutFile(SystemFile(name), "installed " + letter, 2001);
            PutFile(ProgramFile(name), "shipped " + letter, 2002);
        }
    }
};

size_t Find(const std::string& text, const std::string& what) { return text.find(what); }

}  // namespace

TEST_F(RunTest, InstallsEveryListedNameInListOrderDuplicatesIncluded) {
    PutTwoModules();
    WriteChangeList(Targeted("qmxb.dll\r\nQMXA.DLL\r\n  QMXB.DLL\t\r\nQMXC.DLL\r\n"));

    // B replaced, A replaced, B already current, C not installed.
    EXPECT_EQ(0x03u, Run().outcome);
    EXPECT_EQ("shipped a", FileText(SystemFile("QMXA.DLL")));
    EXPECT_EQ("shipped b", FileText(SystemFile("QMXB.DLL")));

    // The list is complete, and logged in order, before any file is touched;
    // then each name is decided in that order.
    const std::string log = LogText();
    const std::vector<std::string> names = {"QMXB.DLL", "QMXA.DLL", "QMXB.DLL", "QMXC.DLL"};
    size_t at = 0;
    for (const std::string& name : names) {
        const size_t line = log.find("PrepareInstallation Append - " + name + "\r\n", at);
        ASSERT_NE(std::string::npos, line) << name;
        at = line + 1;
    }
    const std::string decisions[] = {
        "LockDestFile : QMX_LOCK_SUCEES \"" + SystemFile("QMXB.DLL") + "\"",
        "LockDestFile : QMX_LOCK_SUCEES \"" + SystemFile("QMXA.DLL") + "\"",
        "CompareTimeStamp : QMX_COMP_SAME (3).\r\n",  // B again, now current
        "CopyTargetFile - Not exist " + SystemFile("QMXC.DLL") + ".\r\n",
    };
    for (const std::string& decision : decisions) {
        const size_t line = log.find(decision, at);
        ASSERT_NE(std::string::npos, line) << decision;
        at = line + 1;
    }
}

// The list is read once for the log switch and the run: what the switch
// read is what the run does, and a later run of the same installation reads
// the list again.
TEST_F(RunTest, ARunTakesTheListItsLogSwitchRead) {
    PutTwoModules();
    WriteChangeList(Targeted("QMXA.DLL\r\n"));
    LocalInstallation installation;
    installation.ApplyLogSwitch(0);
    WriteChangeList(Targeted("QMXB.DLL\r\n", "OFF"));

    EXPECT_EQ(QMX_INST_COPIED, installation.Run().outcome);
    EXPECT_EQ("shipped a", FileText(SystemFile("QMXA.DLL")));
    EXPECT_EQ("installed b", FileText(SystemFile("QMXB.DLL")));
    EXPECT_NE(std::string::npos, Find(LogText(), "PrepareInstallation Append - QMXA.DLL"));

    EXPECT_EQ(QMX_INST_COPIED, installation.Run().outcome);
    EXPECT_EQ("shipped b", FileText(SystemFile("QMXB.DLL")));
}

TEST_F(RunTest, NonAdministratorTouchesNothing) {
    // Wine's user is always an administrator; the token check says otherwise.
    OsFault<&OsCalls::EqualSid> notAdmin(1, FALSE, 0, true);
    PutFile(SystemFile("QMXA.DLL"), "installed", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\n"));

    EXPECT_EQ(QMX_INST_NOT_ADMIN, Run().outcome);
    EXPECT_EQ("installed", FileText(SystemFile("QMXA.DLL")));
    const std::string log = LogText();
    EXPECT_EQ("HaveAuthority - I'm not administrator.\r\n", log);

    // Told so even without a change list.
    ::DeleteFileA(ProgramFile("QMX_CHG.DAT").c_str());
    EXPECT_EQ(QMX_INST_NOT_ADMIN, Run().outcome);
}

TEST_F(RunTest, EachRunOfOneRunObjectStartsFromAnEmptyList) {
    PutTwoModules();
    WriteChangeList(Targeted("QMXA.DLL\r\nQMXB.DLL\r\n"));
    LocalInstallation installation;
    installation.ApplyLogSwitch(0);
    EXPECT_EQ(QMX_INST_COPIED, installation.Run().outcome);

    // The second run lists B alone: A, left from the first, is not touched.
    PutFile(ProgramFile("QMXA.DLL"), "shipped a again", 2003);
    PutFile(ProgramFile("QMXB.DLL"), "shipped b again", 2003);
    WriteChangeList(Targeted("QMXB.DLL\r\n"));
    ClearLog();
    EXPECT_EQ(QMX_INST_COPIED, installation.Run().outcome);
    EXPECT_EQ("shipped a", FileText(SystemFile("QMXA.DLL")));
    EXPECT_EQ("shipped b again", FileText(SystemFile("QMXB.DLL")));
    EXPECT_EQ(std::string::npos, LogText().find("QMXA.DLL"));
}

TEST_F(RunTest, NameReachingOutsideTheSystemFolderIsABrokenPackage) {
    PutFile(SystemFile("QMXA.DLL"), "installed a", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped a", 2002);
    WriteChangeList(Targeted("..\\QMXA.DLL\r\n"));
    const RunResult result = Run();
    EXPECT_EQ(QMX_INST_NOT_APPLICABLE, result.outcome);
    EXPECT_EQ(1, result.brokenPackage);
    EXPECT_NE(std::string::npos, Find(LogText(), "CopyTargetFile - Invalid file name ..\\QMXA.DLL.\r\n"));
    EXPECT_EQ("installed a", FileText(SystemFile("QMXA.DLL")));
}

namespace {

PeImageBytes ImageFor(uint16_t machine) {
    PeImageBytes image;
    image.machine = machine;
    image.pe32Plus = machine != 0x014C;
    return image;
}
const std::string kI386 = ImageFor(0x014C).Bytes();
const std::string kX64 = ImageFor(0x8664).Bytes();

}  // namespace

// A module the installed copy's programs could not load stops the package
// before anything is touched, however the decisions would have gone: the
// good module listed first stays, nothing is kept, and every misfit is named.
TEST_F(RunTest, AModuleForAnotherMachineStopsThePackageBeforeAnythingIsTouched) {
    for (const char* rollback : {"", "[Rollback]\r\nON\r\n"}) {
        PutFile(SystemFile("QMXA.DLL"), kI386 + "installed a", 2001);
        PutFile(ProgramFile("QMXA.DLL"), kI386 + "shipped a", 2002);
        PutFile(SystemFile("QMXB.DLL"), kI386 + "installed b", 2003);  // newer: would be skipped
        PutFile(ProgramFile("QMXB.DLL"), kX64 + "shipped b", 2002);
        PutFile(SystemFile("QMXC.DLL"), kX64 + "installed c", 2001);
        PutFile(ProgramFile("QMXC.DLL"), kI386 + "shipped c", 2002);
        PutFile(ProgramFile("QMXD.DLL"), kX64 + "not installed", 2002);  // skipped as ever
        PutFile(SystemFile("QMXE.DAT"), "installed data", 2001);
        PutFile(ProgramFile("QMXE.DAT"), kX64 + "shipped over data", 2002);
        WriteChangeList(Targeted("QMXA.DLL\r\nQMXB.DLL\r\nQMXD.DLL\r\nQMXE.DAT\r\nQMXC.DLL\r\nQMXF.DLL\r\n") +
                        rollback);
        ClearLog();

        const RunResult result = Run();
        EXPECT_EQ(QMX_INST_NOT_APPLICABLE, result.outcome) << rollback;
        EXPECT_EQ(1, result.otherMachine);
        EXPECT_EQ(0, result.brokenPackage);  // QMXF.DLL, missing, was never reached
        EXPECT_EQ(kI386 + "installed a", FileText(SystemFile("QMXA.DLL")));
        EXPECT_EQ("installed data", FileText(SystemFile("QMXE.DAT")));
        const std::string log = LogText();
        const size_t b = Find(log, "PrepareInstallation - Not for this machine: " + SystemFile("QMXB.DLL") + ".\r\n");
        const size_t c = Find(log, "PrepareInstallation - Not for this machine: " + SystemFile("QMXC.DLL") + ".\r\n");
        ASSERT_NE(std::string::npos, b) << log;
        ASSERT_NE(std::string::npos, c) << log;
        EXPECT_LT(b, c);
        EXPECT_EQ(std::string::npos, Find(log, "Not for this machine: " + SystemFile("QMXA.DLL")));
        EXPECT_EQ(std::string::npos, Find(log, "LockDestFile"));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(WindowsFile("QMX_UNDO").c_str()));
    }
}

std::string g_lockedPath, g_appearing, g_appearingFrom;

// Puts a copy of g_appearingFrom at g_appearing as the module at
// g_lockedPath is probed.
HANDLE WINAPI AppearOnProbe(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how,
                            DWORD flags, HANDLE pattern) {
    if (g_lockedPath == name && share == 0) RealOsCalls().CopyFileA(g_appearingFrom.c_str(), g_appearing.c_str(), TRUE);
    return RealOsCalls().CreateFileA(name, access, share, security, how, flags, pattern);
}

// What the machine gate's opens found tells only the first decision of a
// name: that it was absent, or present with its attributes. A module held so
// that it cannot be opened is still installed, and one that appears while
// the run goes on is found by the name's next decision.
TEST_F(RunTest, OnlyANameTheGateFoundAbsentIsTakenAsNotInstalledAndOnlyOnce) {
    PutFile(SystemFile("QMXA.DLL"), kI386 + "installed a", 2001);
    PutFile(ProgramFile("QMXA.DLL"), kI386 + "shipped a", 2002);
    PutFile(SystemFile("QMXB.DLL"), kI386 + "installed b", 2001);
    PutFile(ProgramFile("QMXB.DLL"), kI386 + "shipped b", 2002);
    PutFile(ProgramFile("QMXC.DLL"), "shipped c", 2002);
    PutFile(WindowsFile("QMXC.OLD"), "installed c", 2001);
    WriteChangeList(Targeted("QMXA.DLL\r\nQMXC.DLL\r\nQMXB.DLL\r\nQMXC.DLL\r\n"));
    // What the gate found of B is what its replacement takes: hidden, system.
    ASSERT_TRUE(::SetFileAttributesA(SystemFile("QMXB.DLL").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    const HANDLE held = ::CreateFileA(SystemFile("QMXA.DLL").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    g_lockedPath = SystemFile("QMXB.DLL");
    g_appearing = SystemFile("QMXC.DLL");
    g_appearingFrom = WindowsFile("QMXC.OLD");
    ClearLog();
    RunResult result;
    {
        OsCallsGuard guard;
        guard.Set(&OsCalls::CreateFileA, &AppearOnProbe);
        result = Run();
    }
    ::CloseHandle(held);
    const std::string log = LogText();
    EXPECT_EQ(std::string::npos, Find(log, "CopyTargetFile - Not exist " + SystemFile("QMXA.DLL"))) << log;
    const std::string absent = "CopyTargetFile - Not exist " + SystemFile("QMXC.DLL") + ".\r\n";
    const size_t first = Find(log, absent);
    ASSERT_NE(std::string::npos, first) << log;
    EXPECT_EQ(std::string::npos, log.find(absent, first + absent.size())) << log;
    EXPECT_NE(std::string::npos, Find(log, "LockDestFile : QMX_LOCK_SUCEES \"" + SystemFile("QMXC.DLL"))) << log;
    EXPECT_EQ("shipped c", FileText(SystemFile("QMXC.DLL")));
    EXPECT_EQ(kI386 + "shipped b", FileText(SystemFile("QMXB.DLL")));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              ::GetFileAttributesA(SystemFile("QMXB.DLL").c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ::SetFileAttributesA(SystemFile("QMXB.DLL").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(0u, result.outcome & QMX_INST_COPIED);
}

// The gate holds each installed module open for its comparison; one listed
// under a second name (here a hard link) must still be replaced now under
// each, not staged for a restart as a module in use.
TEST_F(RunTest, AModuleListedUnderTwoNamesIsReplacedNowUnderEach) {
    PutFile(SystemFile("QMXA.DLL"), kI386 + "installed", 2001);
    ASSERT_TRUE(::CreateHardLinkA(SystemFile("QMXB.DLL").c_str(), SystemFile("QMXA.DLL").c_str(), nullptr));
    PutFile(ProgramFile("QMXA.DLL"), kI386 + "shipped a", 2002);
    PutFile(ProgramFile("QMXB.DLL"), kI386 + "shipped b", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\nQMXB.DLL\r\n"));

    EXPECT_EQ(QMX_INST_COPIED, Run().outcome) << LogText();
    EXPECT_EQ(kI386 + "shipped a", FileText(SystemFile("QMXA.DLL")));
    EXPECT_EQ(kI386 + "shipped b", FileText(SystemFile("QMXB.DLL")));
}

// /undo compares the kept copy it would put back with the installed one.
TEST_F(RunTest, UndoPutsBackNoKeptCopyTheInstalledOnesProgramsCouldNotLoad) {
    PutFile(SystemFile("QMXA.DLL"), kI386 + "installed a", 2001);
    PutFile(ProgramFile("QMXA.DLL"), kI386 + "shipped a", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\n"));
    EXPECT_EQ(QMX_INST_COPIED, Run().outcome);
    // Since then, something else made the folder's copy another machine's.
    PutFile(SystemFile("QMXA.DLL"), kX64 + "shipped a", 2002);
    ClearLog();

    const RunResult result = Run(true);
    EXPECT_EQ(QMX_INST_NOT_APPLICABLE, result.outcome);
    EXPECT_EQ(1, result.otherMachine);
    EXPECT_EQ(kX64 + "shipped a", FileText(SystemFile("QMXA.DLL")));
    EXPECT_NE(std::string::npos,
              Find(LogText(), "PrepareInstallation - Not for this machine: " + SystemFile("QMXA.DLL") + ".\r\n"));
}

// An all-or-nothing run whose second module is missing puts the first back;
// when putting it back fails, the run says so (0x80 beside the module's
// 0x08), and the copy kept of it stays for a later /undo.
TEST_F(RunTest, ARollbackStepThatFailsIsAFailureAndKeepsTheKeptCopy) {
    PutFile(SystemFile("QMXA.DLL"), "installed a", 2001);
    PutFile(SystemFile("QMXB.DLL"), "installed b", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped a", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\nQMXB.DLL\r\n") + "[Rollback]\r\nON\r\n");
    {
        // The first rename is A's swap; the second would put its copy back.
        OsFault<&OsCalls::MoveFileExA> restoreFails(2, FALSE, ERROR_ACCESS_DENIED);
        const RunResult result = Run();
        EXPECT_EQ(QMX_INST_NOT_APPLICABLE | QMX_INST_FAILED, result.outcome);
    }
    EXPECT_EQ("shipped a", FileText(SystemFile("QMXA.DLL")));
    EXPECT_NE(std::string::npos,
              Find(LogText(), "UndoModule - Cannot restore " + SystemFile("QMXA.DLL") + ".(5)\r\n"));
    // The package's copy still waits to be undone, and /undo finds its record
    // (B, still missing from the package, is refused again).
    EXPECT_EQ(QMX_INST_COPIED | QMX_INST_NOT_APPLICABLE, Run(true).outcome);
    EXPECT_EQ("installed a", FileText(SystemFile("QMXA.DLL")));
}

namespace {

// A kill at the nth step that changes a name or makes a write durable: the
// run goes no further, as if the process had ended there.
struct Killed {};
int g_killAt = 0;
int g_steps = 0;
void Step() {
    if (++g_steps == g_killAt) throw Killed();
}
BOOL WINAPI KillingMove(LPCSTR from, LPCSTR to, DWORD flags) {
    Step();
    return RealOsCalls().MoveFileExA(from, to, flags);
}
BOOL WINAPI KillingFlush(HANDLE file) {
    Step();
    return RealOsCalls().FlushFileBuffers(file);
}
// 95/98/Me copy onto the module itself.
BOOL WINAPI KillingCopy(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    Step();
    return RealOsCalls().CopyFileA(from, to, failIfExists);
}

BOOL WINAPI Windows98(LPOSVERSIONINFOA info) {
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 10;
    info->dwBuildNumber = 1998;
    return TRUE;
}

}  // namespace

// An all-or-nothing run killed at each of its recorded steps in turn: the
// next start finishes it before any gate, and afterwards every module is
// whole, the package wholly out, and nothing is left to finish.
TEST_F(RunTest, AnAllOrNothingRunKilledAtAnyStepIsPutWhollyBackByTheNextStart) {
  for (const bool win98 : {false, true}) {
    if (win98) m_guard.Set(&OsCalls::GetVersionExA, &Windows98);
    const std::string pattern = win98 ? "1:4:10" : MachinePattern();
    bool finishedAny = false;
    for (g_killAt = 1;; ++g_killAt) {
        PutFile(SystemFile("QMXA.DLL"), "installed a", 2001);
        PutFile(SystemFile("QMXB.DLL"), "installed b", 2001);
        PutFile(ProgramFile("QMXA.DLL"), "shipped a", 2002);
        PutFile(ProgramFile("QMXB.DLL"), "shipped b", 2002);
        WriteChangeList("[Install]\r\n" + pattern + "\r\n[File]\r\nQMXA.DLL\r\nQMXB.DLL\r\n[Log]\r\nON\r\n" +
                        "[Rollback]\r\nON\r\n");
        g_steps = 0;
        bool killed = false;
        {
            OsCallsGuard kill;
            kill.Set(&OsCalls::MoveFileExA, &KillingMove);
            kill.Set(&OsCalls::FlushFileBuffers, &KillingFlush);
            kill.Set(&OsCalls::CopyFileA, &KillingCopy);
            try {
                Run();
            } catch (const Killed&) {
                killed = true;
            }
        }
        if (!killed) break;
        // The next start is one that does nothing of its own: a change list
        // for other Windows. It finishes the interrupted run all the same.
        WriteChangeList("[Install]\r\n2:3\r\n[File]\r\nQMXA.DLL\r\n[Log]\r\nON\r\n");
        ClearLog();
        const RunResult next = Run();
        const std::string log = LogText();
        finishedAny = finishedAny || log.find("RollBack - Finishing an interrupted run of ") != std::string::npos;
        EXPECT_EQ(0u, next.outcome & QMX_INST_FAILED) << win98 << g_killAt << log;
        EXPECT_EQ("installed a", FileText(SystemFile("QMXA.DLL"))) << win98 << g_killAt << log;
        EXPECT_EQ("installed b", FileText(SystemFile("QMXB.DLL"))) << win98 << g_killAt << log;
        // Finished once: a later start has nothing left to finish.
        ClearLog();
        Run();
        EXPECT_EQ(std::string::npos, LogText().find("RollBack - Finishing")) << win98 << g_killAt;
    }
    EXPECT_GT(g_killAt, 4) << win98 << ": the run has steps to be killed at";
    EXPECT_TRUE(finishedAny) << win98;
    EXPECT_EQ("shipped a", FileText(SystemFile("QMXA.DLL"))) << win98;
  }
}

// A record that a run still going holds open (a renamed copy of the program)
// is that run's: another start leaves it; once the run is gone, the next
// start finishes it.
TEST_F(RunTest, ARunStillGoingIsLeftToItself) {
    WriteChangeList(Targeted("QMXA.DLL\r\n"));
    const std::string store = WindowsFile("QMX_UNDO");
    ASSERT_TRUE(::CreateDirectoryA(store.c_str(), nullptr));
    {
        RunJournal going;
        DWORD error = 0;
        ASSERT_TRUE(going.Begin(store, "C:\\ELSEWHERE", Sha256Digest(), &error)) << error;
        Run();
        EXPECT_EQ(std::string::npos, LogText().find("RollBack - Finishing")) << LogText();
    }
    ClearLog();
    Run();
    EXPECT_NE(std::string::npos, LogText().find("RollBack - Finishing an interrupted run of C:\\ELSEWHERE.\r\n"));
}
