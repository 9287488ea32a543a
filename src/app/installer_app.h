// The application object of QMXSET.EXE: one copy at a time runs the
// installer dialog modally, and the process ends when it closes.
#pragma once

#include <string>

#include "platform/app_base.h"

class InstallerApp : public AppBase {
public:
    // Sets the diagnostic-log switch off; the installer dialog sets it from
    // the change list during its initialisation. commandLine is the command
    // line without the program's name (see ParseCommandLine).
    explicit InstallerApp(const std::string& commandLine = std::string());
    ~InstallerApp() override;

    // Reads the command line first: /? or /help shows the usage and an
    // unknown argument shows it too and sets the exit status 87; neither
    // installs (with /quiet nothing is shown). Otherwise runs the
    // installation when no other copy of this executable (same instance name)
    // runs on this machine (MutexName; a mutex this account may not open
    // counts as another copy's); else brings the running copy's window
    // forward, if one is found, and does nothing else. With /quiet no window
    // is created and the exit status reports the outcome (QuietExitCode;
    // 1618 for a second copy); without it the status stays 0. Always FALSE: the program never runs a
    // message loop of its own.
    BOOL InitInstance() override;

protected:
    // The single-instance mutex's name on this Windows: see
    // SingleInstanceMutexName.
    std::string MutexName() const;

private:
    // The first top-level window, in Z order, that carries a non-NULL window
    // property named after the instance; nullptr when there is none.
    HWND FindRunningInstance() const;
    static void BringForward(HWND window);
    // The usage text in the user's language, in a message box, until OK.
    void ShowUsage() const;

    std::string m_commandLine;
};
