// Whole installation runs in-process: the installer dialog with the real
// engine and change-list reader, on scratch folders.
#include <gtest/gtest.h>

#include "log/debug_log.h"
#include "support/os_fault.h"
#include "ui/install_fixture.h"
#include "ui/installer_dialog.h"
#include "app/quiet_run.h"

namespace {

class RunTest : public InstallFixture {
protected:
    // A change list that targets this machine.
    std::string Targeted(const std::string& files, const std::string& log = "ON") {
        return "[Install]\r\n" + MachinePattern() + "\r\n[File]\r\n" + files + "[Log]\r\n" + log + "\r\n";
    }

    std::vector<SeenDialog> Run() {
        InstallerDialog dialog(nullptr);
        return RunModal(dialog);
    }

    static void ExpectOneMessage(const std::vector<SeenDialog>& seen, UINT id) {
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(ResourceText(id), seen[0].messageText);
    }
};

std::vector<std::string> g_searched;

HANDLE WINAPI RecordingFindFirstFile(LPCSTR path, LPWIN32_FIND_DATAA data) {
    g_searched.push_back(path);
    return RealOsCalls().FindFirstFileA(path, data);
}

size_t Find(const std::string& text, const std::string& what) { return text.find(what); }

}  // namespace

TEST_F(RunTest, InstallsEveryListedNameInListOrderDuplicatesIncluded) {
    PutFile(SystemFile("QMXA.DLL"), "installed a", 2001);
    PutFile(SystemFile("QMXB.DLL"), "installed b", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped a", 2002);
    PutFile(ProgramFile("QMXB.DLL"), "shipped b", 2002);
    WriteChangeList(Targeted("qmxb.dll\r\nQMXA.DLL\r\n  QMXB.DLL\t\r\nQMXC.DLL\r\n"));
    g_searched.clear();
    m_guard.Set(&OsCalls::FindFirstFileA, &RecordingFindFirstFile);

    const std::vector<SeenDialog> seen = Run();

    const std::vector<std::string> names = {"QMXB.DLL", "QMXA.DLL", "QMXB.DLL", "QMXC.DLL"};
    std::vector<std::string> installed;
    for (const std::string& path : g_searched) {
        if (path.rfind(SystemFile(""), 0) == 0) installed.push_back(path.substr(SystemFile("").size()));
    }
    EXPECT_EQ(names, installed);

    // The list is complete, and logged in order, before any file is touched.
    const std::string log = LogText();
    size_t at = 0;
    for (const std::string& name : names) {
        const size_t line = log.find("PrepareInstallation Append - " + name + "\r\n", at);
        ASSERT_NE(std::string::npos, line) << name;
        at = line + 1;
    }
    EXPECT_LT(at, log.find("CompareTimeStamp"));
    EXPECT_EQ("shipped a", FileText(SystemFile("QMXA.DLL")));
    EXPECT_EQ("shipped b", FileText(SystemFile("QMXB.DLL")));
    // B replaced, A replaced, B already current, C not installed.
    EXPECT_NE(std::string::npos, log.find("EngingMessage[0x3] - Module installation complete.\r\n"));
    ExpectOneMessage(seen, 106);
}

TEST_F(RunTest, NonAdministratorTouchesNothing) {
    // Wine's user is always an administrator; the token check says otherwise.
    OsFault<&OsCalls::EqualSid> notAdmin(1, FALSE, 0, true);
    PutFile(SystemFile("QMXA.DLL"), "installed", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\n"));

    ExpectOneMessage(Run(), 108);
    EXPECT_EQ("installed", FileText(SystemFile("QMXA.DLL")));
    const std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("HaveAuthority - I'm not administrator.\r\n"));
    EXPECT_NE(std::string::npos,
              log.find("EngingMessage[0x10] - Current user does not have administrator privleges. "
                       "Installation canceled.\r\n"));
    EXPECT_EQ(std::string::npos, log.find("CompVersion"));
    EXPECT_EQ(std::string::npos, log.find("PrepareInstallation"));
    EXPECT_EQ(std::string::npos, log.find("CopyTargetFile"));

    // Told so even without a change list.
    ::DeleteFileA(ProgramFile("QMX_CHG.DAT").c_str());
    ExpectOneMessage(Run(), 108);
}

TEST_F(RunTest, EachRunOfOneRunObjectStartsFromAnEmptyList) {
    PutFile(SystemFile("QMXA.DLL"), "installed a", 2001);
    PutFile(SystemFile("QMXB.DLL"), "installed b", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped a", 2002);
    PutFile(ProgramFile("QMXB.DLL"), "shipped b", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\nQMXB.DLL\r\n"));
    InstallEnvironment environment;
    environment.Probe();
    FileDeployment deployment(environment.GetMachine());
    InstallationRun run(environment.GetMachine(), deployment);
    EXPECT_EQ(QMX_INST_COPIED, run.Run().outcome);

    // The second run lists B alone: A, left from the first, is not touched.
    PutFile(ProgramFile("QMXA.DLL"), "shipped a again", 2003);
    PutFile(ProgramFile("QMXB.DLL"), "shipped b again", 2003);
    WriteChangeList(Targeted("QMXB.DLL\r\n"));
    ClearLog();
    EXPECT_EQ(QMX_INST_COPIED, run.Run().outcome);
    EXPECT_EQ("shipped a", FileText(SystemFile("QMXA.DLL")));
    EXPECT_EQ("shipped b again", FileText(SystemFile("QMXB.DLL")));
    EXPECT_EQ(std::string::npos, LogText().find("QMXA.DLL"));
}

TEST_F(RunTest, NameReachingOutsideTheSystemFolderIsABrokenPackage) {
    PutFile(SystemFile("QMXA.DLL"), "installed a", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped a", 2002);
    WriteChangeList(Targeted("..\\QMXA.DLL\r\n"));
    ExpectOneMessage(Run(), 112);
    const std::string log = LogText();
    EXPECT_NE(std::string::npos, Find(log, "CopyTargetFile - Invalid file name ..\\QMXA.DLL.\r\n"));
    EXPECT_NE(std::string::npos, Find(log, "EngingMessage[0x8] - "));
    EXPECT_EQ("installed a", FileText(SystemFile("QMXA.DLL")));
}

TEST_F(RunTest, JapaneseUserGetsTheJapaneseMessage) {
    UseLanguage(0x0411);
    PutFile(SystemFile("QMXA.DLL"), "installed", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\n"));

    const std::vector<SeenDialog> seen = Run();
    ExpectOneMessage(seen, 102);
    EXPECT_FALSE(ResourceText(102).empty());
    EXPECT_NE(ResourceText(106), ResourceText(102));
    EXPECT_NE(std::string::npos, LogText().find("EngingMessage[0x1] - " + ResourceText(102) + "\r\n"));
}

TEST_F(RunTest, OtherLanguagesGetEnglish) {
    UseLanguage(0x0804);  // Chinese (PRC)
    ExpectOneMessage(Run(), 109);
    UseLanguage(0x0011);  // Japanese, neutral sublanguage
    ExpectOneMessage(Run(), 105);
}

// Quiet runs: no window, the outcome returned, and beside a 0x08 whether the
// change list merely targets other Windows (1633) or the package is broken
// (1620).
TEST_F(RunTest, OnlyAReadChangeListNamingOtherWindowsCountsAsNotTargeted) {
    PutFile(SystemFile("QMXA.DLL"), "installed", 2001);
    struct Case {
        const char* what;
        std::string changeList;  // empty: none at all
        int notTargeted;
        const char* message;
    };
    const char* const notApplicable = "It was not the environment which this module applies.";
    const char* const failed = "Module installation failed. Some modules could not be replaced.";
    const Case cases[] = {
        {"other Windows", "[Install]\r\n1:4\r\n[File]\r\nQMXA.DLL\r\n[Log]\r\nON\r\n", 1, notApplicable},
        {"no change list", "", 0, notApplicable},
        {"no [Install] entry", "[File]\r\nQMXA.DLL\r\n[Log]\r\nON\r\n", 0, notApplicable},
        {"no [File] entry", Targeted(""), 0, notApplicable},
        // A broken package is a failure, never "not applicable" or "complete".
        {"listed module missing from the package", Targeted("QMXA.DLL\r\n"), 0, failed},
    };
    for (const Case& c : cases) {
        ::DeleteFileA(ProgramFile("QMX_CHG.DAT").c_str());
        if (!c.changeList.empty()) WriteChangeList(c.changeList);
        ClearLog();
        EXPECT_EQ(c.notTargeted ? 1633 : 1620, RunQuietly(1, nullptr)) << c.what;
        EXPECT_EQ(std::string("EngingMessage[0x8] - ") + c.message + "\r\n",
                  LogText().substr(LogText().rfind("EngingMessage"))) << c.what;
    }
    EXPECT_EQ("installed", FileText(SystemFile("QMXA.DLL")));
}

TEST_F(RunTest, AQuietRunLogsOnlyWhenAskedAndReportsAFailure) {
    PutFile(SystemFile("QMXA.DLL"), "installed", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\n", "OFF"));
    OsFault<&OsCalls::CopyFileA> copyFails(1, FALSE, ERROR_DISK_FULL, true);
    EXPECT_EQ(QMX_EXIT_INSTALL_FAILURE, RunQuietly(0, nullptr));
    EXPECT_EQ("", LogText());
    EXPECT_EQ(QMX_EXIT_INSTALL_FAILURE, RunQuietly(1, nullptr));
    EXPECT_NE(std::string::npos,
              Find(LogText(), "EngingMessage[0x80] - Module installation failed. Some modules "
                              "could not be replaced.\r\n"));
    EXPECT_EQ("installed", FileText(SystemFile("QMXA.DLL")));
}
