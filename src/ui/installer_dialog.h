// The program's main window in an interactive run: a dialog without
// controls, shown only minimised, that sequences one installation run.
//
// Construction probes the machine. OnInitDialog applies the change list's
// [Log] switch and posts WM_INSTALL_START; RunInstallation runs the
// installation (InstallationRun) and posts WM_INSTALL_DONE; EngingMessage
// shows the one outcome message and posts WM_CLOSE, which ends the modal run.
#pragma once

#include <cstdint>

#include "engine/local/local_installation.h"
#include "platform/dialog_base.h"
#include "ui/run_report.h"

// The installer dialog's private messages, posted to itself.
enum : UINT {
    WM_INSTALL_START = WM_USER + 10,  // wParam 0, lParam 0
    WM_INSTALL_DONE = WM_USER + 11,   // wParam: outcome bits (low 16), lParam 0
};

// The About item of the system menu.
enum : UINT { ID_SYS_ABOUT = 0x0010 };

class InstallerDialog : public DialogBase, private RunReport {
public:
    // Loads the icon from resources (null: the program's file) and probes
    // the machine (environment, system and program folders, language). Logs
    // nothing: the log switch is read later, by OnInitDialog.
    explicit InstallerDialog(HINSTANCE resources);
    ~InstallerDialog() override;

    // The log goes on whatever the change list's [Log] entry says (/log).
    // Call before DoModal.
    void ForceLog() { m_logForced = 1; }
    // The run puts the kept copies back (/undo). Call before DoModal.
    void Undo() { m_undo = true; }

    // WM_INSTALL_START: runs the installation, then posts WM_INSTALL_DONE
    // with the low 16 bits of the outcome. Returns 0.
    LRESULT RunInstallation(WPARAM wParam, LPARAM lParam);
    // WM_INSTALL_DONE: shows the message for the run (not-admin, then
    // failure, then restart, then done, else not applicable), logs it, and
    // posts WM_CLOSE once the user has dismissed it. Returns 0.
    LRESULT EngingMessage(WPARAM wParam, LPARAM lParam);

protected:
    // The message for result, as EngingMessage shows it: also what a run
    // that runs out of memory shows before the program ends. A shown run's
    // status is always 0.
    int Report(const RunResult& result) override;

    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // 0x0010 to 0x001F open the About box; everything else is the default.
    void OnSysCommand(UINT nID, LPARAM lParam);
    // Draws the icon centred in the client area while minimised.
    void OnPaint();
    HICON OnQueryDragIcon();

    HICON m_hIcon;
    LocalInstallation m_installation;
    // The last run's result, whose 0x08 (broken package or not applicable)
    // the bits posted with WM_INSTALL_DONE cannot tell apart.
    RunResult m_result;
    int m_logForced;
    bool m_undo = false;
};
