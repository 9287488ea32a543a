// Quiet runs: no window, the message logged and the outcome returned as an
// exit code, and beside a 0x08 whether the change list merely targets other
// Windows (1633) or the package is broken (1620).
#include "app/quiet_run.h"

#include <gtest/gtest.h>

#include "engine/site/outcome.h"
#include "support/os_fault.h"
#include "support/scratch_machine.h"

using QuietRun = ScratchMachine;

TEST_F(QuietRun, OnlyAReadChangeListNamingOtherWindowsCountsAsNotTargeted) {
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

TEST_F(QuietRun, LogsOnlyWhenAskedAndReportsAFailure) {
    PutFile(SystemFile("QMXA.DLL"), "installed", 2001);
    PutFile(ProgramFile("QMXA.DLL"), "shipped", 2002);
    WriteChangeList(Targeted("QMXA.DLL\r\n", "OFF"));
    OsFault<&OsCalls::CopyFileA> copyFails(1, FALSE, ERROR_DISK_FULL, true);
    EXPECT_EQ(QMX_EXIT_INSTALL_FAILURE, RunQuietly(0, nullptr));
    EXPECT_EQ("", LogText());
    EXPECT_EQ(QMX_EXIT_INSTALL_FAILURE, RunQuietly(1, nullptr));
    EXPECT_NE(std::string::npos,
              LogText().find("EngingMessage[0x80] - Module installation failed. Some modules "
                             "could not be replaced.\r\n"));
    EXPECT_EQ("installed", FileText(SystemFile("QMXA.DLL")));
}
