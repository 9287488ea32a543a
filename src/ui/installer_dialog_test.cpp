// The installer dialog's window side: what it looks like once initialised,
// its system commands, and which message each outcome brings up.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "engine/site/outcome.h"
#include "log/debug_log.h"
#include "ui/install_fixture.h"
#include "ui/installer_dialog.h"
#include "ui/res/resource.h"

namespace {

struct MenuItem {
    UINT id;
    UINT type;
    std::string text;
};

// Skips the installation: WM_INSTALL_START posts the given system commands,
// and once they have been handled, WM_INSTALL_DONE with the given bits.
// Records the window's state when the installation would start.
class ScriptedInstaller : public InstallerDialog {
public:
    ScriptedInstaller() : InstallerDialog(nullptr) {}
    WPARAM bits = 0;
    std::vector<WPARAM> sysCommands;

    HWND window = nullptr;
    bool iconic = false;
    bool visible = false;
    LONG exStyle = 0;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    HICON dragIcon = nullptr;
    HICON ownIcon = nullptr;
    int logSwitchAtStart = -1;
    bool hasSystemMenu = false;
    std::vector<MenuItem> menu;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        if (message == WM_INSTALL_START) {
            Record();
            for (WPARAM command : sysCommands) ::PostMessageA(m_hWnd, WM_SYSCOMMAND, command, 0);
            if (sysCommands.empty()) ::PostMessageA(m_hWnd, WM_INSTALL_DONE, bits, 0);
            *result = 0;
            return true;
        }
        const bool handled = InstallerDialog::OnMessage(message, wParam, lParam, result);
        if (message == WM_SYSCOMMAND && ++m_commandsDone == sysCommands.size()) {
            ::PostMessageA(m_hWnd, WM_INSTALL_DONE, bits, 0);
        }
        return handled;
    }

private:
    void Record() {
        window = m_hWnd;
        iconic = ::IsIconic(m_hWnd) != FALSE;
        visible = ::IsWindowVisible(m_hWnd) != FALSE;
        exStyle = ::GetWindowLongA(m_hWnd, GWL_EXSTYLE);
        bigIcon = reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_GETICON, ICON_BIG, 0));
        smallIcon = reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_GETICON, ICON_SMALL, 0));
        dragIcon = reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_QUERYDRAGICON, 0, 0));
        ownIcon = m_hIcon;
        logSwitchAtStart = g_logSwitch;
        HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE);
        hasSystemMenu = systemMenu != nullptr;
        for (int i = 0; systemMenu && i < ::GetMenuItemCount(systemMenu); ++i) {
            char text[128] = {};
            MENUITEMINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = sizeof text;
            ::GetMenuItemInfoA(systemMenu, static_cast<UINT>(i), TRUE, &info);
            menu.push_back({info.wID, info.fType, text});
        }
    }

    size_t m_commandsDone = 0;
};

class InstallerDialogTest : public InstallFixture {
protected:
    void SetUp() override {
        InstallFixture::SetUp();
        WriteChangeList("[Log]\r\nON\r\n");
    }
};

RECT WorkArea() {
    RECT work = {};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

}  // namespace

TEST_F(InstallerDialogTest, ShowsEachOutcomeWithItsMessage) {
    const char* done = "Module installation complete.";
    const char* reboot = "Module installation complete. To make the changes take effectm restart your computer.";
    const char* notAdmin = "Current user does not have administrator privleges. Installation canceled.";
    const char* notApplicable = "It was not the environment which this module applies.";
    const char* failed = "Module installation failed. Some modules could not be replaced.";
    const char* failedReboot = "Module installation failed. Some modules could not be replaced. To make the other "
                               "changes take effect, restart your computer.";
    const struct {
        WPARAM bits;
        const char* text;
        unsigned logged = 0;  // the bits the log names, when not all of them
    } cases[] = {
        {0x01, done}, {0x03, done}, {0x09, done},                          // replaced now
        {0x05, reboot}, {0x04, reboot}, {0x06, reboot},                    // restart wins over done
        {0x80, failed}, {0x81, failed}, {0x82, failed}, {0x88, failed},    // a failure is never success
        {0x84, failedReboot}, {0x87, failedReboot},                        // ... and goes on with the restart
        {0x02, notApplicable}, {0x08, notApplicable}, {0x0A, notApplicable}, {0x00, notApplicable},
        {0x10, notAdmin}, {0x15, notAdmin}, {0x9F, notAdmin},              // not-admin wins
        {0x10005, reboot, 0x5},                                            // the log has the low 16 bits
    };
    for (const auto& c : cases) {
        ClearLog();
        SetLogSwitch(0);  // as at program start
        ScriptedInstaller dialog;
        dialog.bits = c.bits;
        const std::vector<SeenDialog> seen = RunModal(dialog);
        ASSERT_EQ(1u, seen.size()) << std::hex << c.bits;
        EXPECT_EQ(c.text, seen[0].messageText) << std::hex << c.bits;
        char line[64];
        std::snprintf(line, sizeof line, "EngingMessage[0x%x] - ",
                      c.logged ? c.logged : static_cast<unsigned>(c.bits));
        EXPECT_EQ(line + std::string(c.text) + "\r\n", LogText()) << std::hex << c.bits;
    }
}

TEST_F(InstallerDialogTest, JapaneseRestartMessageKeepsItsLineBreak) {
    UseLanguage(0x0411);
    ScriptedInstaller dialog;
    dialog.bits = 0x05;
    const std::vector<SeenDialog> seen = RunModal(dialog);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(ResourceText(IDS_REBOOT_JA), seen[0].messageText);
    EXPECT_NE(std::string::npos, ResourceText(IDS_REBOOT_JA).find("\r\nWindows"));
    EXPECT_EQ("EngingMessage[0x5] - " + ResourceText(IDS_REBOOT_JA) + "\r\n", LogText());
}

TEST_F(InstallerDialogTest, IsAMinimisedTaskBarWindowWithTheProgramIcon) {
    ScriptedInstaller dialog;
    INT_PTR result = 0;
    RunModal(dialog, &result);
    EXPECT_TRUE(dialog.visible);
    EXPECT_TRUE(dialog.iconic);
    EXPECT_TRUE(dialog.exStyle & WS_EX_APPWINDOW);
    ASSERT_NE(nullptr, dialog.ownIcon);
    EXPECT_EQ(dialog.ownIcon, dialog.bigIcon);
    EXPECT_EQ(dialog.ownIcon, dialog.smallIcon);
    EXPECT_EQ(dialog.ownIcon, dialog.dragIcon);
    // The log switch is in place before the installation starts.
    EXPECT_EQ(1, dialog.logSwitchAtStart);
    // WM_CLOSE after the message is the dialog's Cancel.
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd());
}

TEST_F(InstallerDialogTest, SystemMenuOffersAboutButNeitherSizeNorMaximize) {
    ScriptedInstaller dialog;
    RunModal(dialog);
    // The template has no WS_SYSMENU; where the platform still gives the
    // window a system menu, it is adjusted.
    if (!dialog.hasSystemMenu) GTEST_SKIP() << "no system menu on this platform";
    ASSERT_GE(dialog.menu.size(), 2u);
    const MenuItem& separator = dialog.menu[dialog.menu.size() - 2];
    const MenuItem& about = dialog.menu.back();
    EXPECT_TRUE(separator.type & MFT_SEPARATOR);
    EXPECT_EQ(ID_SYS_ABOUT, about.id);
    EXPECT_EQ("&About QMX_SET...", about.text);
    for (const MenuItem& item : dialog.menu) {
        EXPECT_NE(static_cast<UINT>(SC_SIZE), item.id);
        EXPECT_NE(static_cast<UINT>(SC_MAXIMIZE), item.id);
    }
}

TEST_F(InstallerDialogTest, AboutCommandsOpenTheAboutBoxCentredInTheWorkArea) {
    for (WPARAM command : {WPARAM(0x0010), WPARAM(0x001F)}) {
        ScriptedInstaller dialog;
        dialog.bits = 0x01;
        dialog.sysCommands = {command};
        const std::vector<SeenDialog> seen = RunModal(dialog);
        ASSERT_EQ(2u, seen.size()) << command;
        const SeenDialog& about = seen[0];
        EXPECT_EQ(std::string("Module installation complete."), seen[1].messageText);
        EXPECT_EQ("About QMX_SET", about.caption);
        ASSERT_EQ(2u, about.statics.size());
        EXPECT_EQ("QMX_SET Version 1.0", about.statics[0]);
        EXPECT_FALSE(about.statics[1].empty());
        EXPECT_EQ(dialog.window, about.owner);
        EXPECT_FALSE(about.ownerEnabled);
        // Its centre is the work area's, to the pixel that halving leaves.
        const RECT work = WorkArea();
        const RECT& r = about.rect;
        EXPECT_LE(std::abs((r.left + r.right) - (work.left + work.right)), 1) << command;
        EXPECT_LE(std::abs((r.top + r.bottom) - (work.top + work.bottom)), 1) << command;
    }
}

// Japanese for a Japanese user, whatever the sublanguage; English for anyone
// else. The shown text is the one logged.
TEST_F(InstallerDialogTest, TheMessageIsInTheUsersLanguage) {
    const std::string english = "It was not the environment which this module applies.";
    const struct {
        LANGID language;
        bool japanese;
    } cases[] = {{0x0411, true}, {0x0011, true}, {0x0804, false}, {0x0409, false}};
    for (const auto& c : cases) {
        UseLanguage(c.language);
        ClearLog();
        InstallerDialog dialog(nullptr);
        const std::vector<SeenDialog> seen = RunModal(dialog);
        ASSERT_EQ(1u, seen.size()) << c.language;
        EXPECT_EQ(c.japanese, seen[0].messageText != english) << c.language;
        EXPECT_FALSE(seen[0].messageText.empty()) << c.language;
        EXPECT_NE(std::string::npos, LogText().find("EngingMessage[0x8] - " + seen[0].messageText + "\r\n"))
            << c.language;
    }
}

TEST_F(InstallerDialogTest, OtherSystemCommandsGetTheDefaultProcessing) {
    ScriptedInstaller unknown;
    unknown.bits = 0x01;
    unknown.sysCommands = {0x0020};
    const std::vector<SeenDialog> seen = RunModal(unknown);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(std::string("Module installation complete."), seen[0].messageText);

    // Close closes: the dialog ends before the outcome arrives.
    ScriptedInstaller closed;
    closed.bits = 0x01;
    closed.sysCommands = {SC_CLOSE};
    INT_PTR result = 0;
    EXPECT_TRUE(RunModal(closed, &result).empty());
    EXPECT_EQ(IDCANCEL, result);
}
