// The application object of QMXSET.EXE: one copy at a time runs the
// installer dialog modally, and the process ends when it closes.
#pragma once

#include "platform/app_base.h"

// The framework's standard Help command.
enum : UINT { ID_HELP = 0xE146 };

class InstallerApp : public AppBase {
public:
    // Sets the diagnostic-log switch off; the installer dialog sets it from
    // the change list during its initialisation.
    InstallerApp();
    ~InstallerApp() override;

    // Runs the installation when no other copy of this executable (same
    // instance name) runs; otherwise brings the running copy's window
    // forward, if one is found, and does nothing else. Always FALSE: the
    // program never runs a message loop of its own.
    BOOL InitInstance() override;

    // Routes ID_HELP to OnHelp.
    bool OnCmdMsg(UINT id) override;

protected:
    // No help content ships with the program, so there is nothing to show.
    void OnHelp();

private:
    // The first top-level window, in Z order, that carries a non-NULL window
    // property named after the instance; nullptr when there is none.
    HWND FindRunningInstance() const;
    static void BringForward(HWND window);
};
