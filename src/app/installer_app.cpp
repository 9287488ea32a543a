#include "app/installer_app.h"

#include "log/debug_log.h"
#include "ui/installer_dialog.h"

InstallerApp::InstallerApp() { SetLogSwitch(0); }

InstallerApp::~InstallerApp() = default;

BOOL InstallerApp::InitInstance() {
    // Owned at creation and never waited on: the mutex only tells a second
    // start from the first. Its handle stays open until the process ends, so
    // a start after the release but before the end still counts as second.
    HANDLE mutex = ::CreateMutexA(nullptr, TRUE, m_exeName.c_str());
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HWND running = FindRunningInstance()) BringForward(running);
        return FALSE;
    }

    {
        InstallerDialog dialog;
        SetMainWindow(&dialog);
        dialog.DoModal();
        if (mutex) ::ReleaseMutex(mutex);
        SetMainWindow(nullptr);
    }
    return FALSE;
}

bool InstallerApp::OnCmdMsg(UINT id) {
    if (id == ID_HELP) {
        OnHelp();
        return true;
    }
    return AppBase::OnCmdMsg(id);
}

void InstallerApp::OnHelp() {}

HWND InstallerApp::FindRunningInstance() const {
    for (HWND window = ::GetWindow(::GetDesktopWindow(), GW_CHILD); window;
         window = ::GetWindow(window, GW_HWNDNEXT)) {
        if (::GetPropA(window, m_exeName.c_str())) return window;
    }
    return nullptr;
}

void InstallerApp::BringForward(HWND window) {
    if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
    ::SetForegroundWindow(window);
    ::SetForegroundWindow(::GetLastActivePopup(window));
}
