// The program's main window: a dialog without controls, shown only
// minimised, that owns one installation's state and sequences it.
//
// Construction probes the machine and picks the message language.
// OnInitDialog applies the change list's [Log] switch and posts
// WM_INSTALL_START; RunInstallation installs and posts WM_INSTALL_DONE;
// EngingMessage shows the one outcome message and posts WM_CLOSE, which ends
// the modal run. A quiet run (RunQuietly) does the same work without ever
// creating the window.
#pragma once

#include <cstdint>

#include "engine/install_environment.h"
#include "platform/dialog_base.h"
#include "ui/file_list.h"

// The installer dialog's private messages, posted to itself.
enum : UINT {
    WM_INSTALL_START = WM_USER + 10,  // wParam 0, lParam 0
    WM_INSTALL_DONE = WM_USER + 11,   // wParam: outcome bits (low 16), lParam 0
};

// The About item of the system menu.
enum : UINT { ID_SYS_ABOUT = 0x0010 };

class InstallerDialog : public DialogBase {
public:
    // Loads the icon, probes the machine (environment, system and program
    // folders, language) and chooses the four message ids. Logs nothing: the
    // log switch is read later, by OnInitDialog.
    explicit InstallerDialog(HWND hParent = nullptr);
    ~InstallerDialog() override;

    INT_PTR DoModal() override;

    // The log goes on whatever the change list's [Log] entry says (/log).
    // Call before DoModal or RunQuietly.
    void ForceLog() { m_logForced = 1; }

    // The whole run with no window of any kind (/quiet): applies the log
    // switch, installs, and logs the message that a shown run would show.
    // Returns the outcome bits.
    uint32_t RunQuietly();

    // --- The installation run ---

    // Rebuilds m_fileList from the change list's [File] section when its
    // [Install] entry targets this machine. 1 when the list then holds at
    // least one name; 0 when not targeted (list left empty) or no name.
    // Sets m_notTargeted when the change list was read and its [Install]
    // entry names only other Windows versions.
    int PrepareInstallation();
    // Gates on HaveAuthority (0x10), prepares (0x08 when nothing applies),
    // installs every listed name in order and returns the ORed results.
    uint32_t Install();
    // WM_INSTALL_START: Install, then posts WM_INSTALL_DONE with the low 16
    // bits. Returns 0.
    LRESULT RunInstallation(WPARAM wParam, LPARAM lParam);
    // WM_INSTALL_DONE: shows the message for the bits in wParam (not-admin,
    // then failure, then restart, then done, else not applicable), logs it,
    // and posts WM_CLOSE once the user has dismissed it. Returns 0.
    LRESULT EngingMessage(WPARAM wParam, LPARAM lParam);

    const FileList& GetFileList() const { return m_fileList; }
    // 1 when the last run ended 0x08 because the change list targets other
    // Windows versions only, not because the package is broken; else 0.
    int NotTargeted() const { return m_notTargeted; }

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // 0x0010 to 0x001F open the About box; everything else is the default.
    void OnSysCommand(UINT nID, LPARAM lParam);
    // Draws the icon centred in the client area while minimised.
    void OnPaint();
    HICON OnQueryDragIcon();

private:
    // Sets the log switch from the change list's [Log] entry, or on when
    // forced.
    void ApplyLogSwitch();
    // The message id for outcome bits, logged as the line "EngingMessage[0x%x]
    // - %s" with the message's text.
    uint32_t ChooseAndLogMessage(uint32_t outcome);

protected:

    HICON m_hIcon;
    InstallEnvironment m_environment;
    uint32_t m_doneMsgId;
    uint32_t m_rebootMsgId;
    uint32_t m_notAdminMsgId;
    uint32_t m_notApplicableMsgId;
    uint32_t m_failedMsgId;
    uint32_t m_failedRebootMsgId;
    FileList m_fileList;
    int m_notTargeted;
    int m_logForced;
};
