#include "app/installer_app.h"

#include "app/command_line.h"
#include "app/single_instance.h"
#include "engine/local/install_environment.h"
#include "engine/site/outcome.h"
#include "log/debug_log.h"
#include "platform/resource_string.h"
#include "platform/windows_version.h"
#include "ui/installer_dialog.h"
#include "app/quiet_run.h"
#include "ui/res/resource.h"

InstallerApp::InstallerApp(const std::string& commandLine) : m_commandLine(commandLine) {
    SetLogSwitch(0);
}

InstallerApp::~InstallerApp() = default;

BOOL InstallerApp::InitInstance() {
    const CommandLine options = ParseCommandLine(m_commandLine);
    if (options.action != QMX_CMD_INSTALL) {
        // A mistyped switch must never start an interactive run on every
        // machine it is pushed to.
        if (!options.quiet) ShowUsage();
        m_exitCode = options.action == QMX_CMD_USAGE ? QMX_EXIT_SUCCESS : QMX_EXIT_INVALID_PARAMETER;
        return FALSE;
    }

    // Owned at creation and never waited on: the mutex only tells a second
    // start from the first. Its handle stays open until the process ends, so
    // a start after the release but before the end still counts as second.
    HANDLE mutex = ::CreateMutexA(nullptr, TRUE, MutexName().c_str());
    const DWORD error = ::GetLastError();
    // A mutex made by another account (SYSTEM, running a start-up script)
    // refuses this one: it exists, so another copy runs.
    if (error == ERROR_ALREADY_EXISTS || (mutex == nullptr && error == ERROR_ACCESS_DENIED)) {
        if (options.quiet) {
            m_exitCode = QMX_EXIT_ALREADY_RUNNING;
        } else if (HWND running = FindRunningInstance()) {
            BringForward(running);
        }
        return FALSE;
    }

    if (!options.logPath.empty()) SetLogPath(options.logPath);
    if (options.quiet) {
        m_exitCode = RunQuietly(options.log ? 1 : 0, ResourceHandle(), options.undo);
        if (mutex) ::ReleaseMutex(mutex);
        return FALSE;
    }
    InstallerDialog dialog(ResourceHandle());
    if (options.log) dialog.ForceLog();
    if (options.undo) dialog.Undo();
    dialog.DoModal();
    if (mutex) ::ReleaseMutex(mutex);
    return FALSE;
}

std::string InstallerApp::MutexName() const {
    OSVERSIONINFOA version;
    ReportedVersion(&version);  // all zero when it fails
    return SingleInstanceMutexName(version.dwPlatformId, version.dwMajorVersion, m_exeName);
}

void InstallerApp::ShowUsage() const {
    InstallEnvironment environment;
    const UINT id = environment.CheckLanguageEnv() == QMX_LANG_ENGLISH ? IDS_USAGE_EN : IDS_USAGE_JA;
    const std::string text = LoadResourceString(ResourceHandle(), id);
    ::MessageBoxA(nullptr, text.c_str(), m_exeName.c_str(), MB_OK | MB_ICONINFORMATION);
}

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
