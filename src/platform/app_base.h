// The application object of a dialog-driven Win32 program.
//
// One object exists per process. Run() keeps the executable's base name (the
// instance name), calls InitInstance once and runs a message loop only when
// InitInstance asks for one by returning TRUE. Dialogs created without a
// parent are owned by the main window once one is set.
#pragma once

#include <windows.h>

#include <string>

class DialogBase;

// The base name of the executable at modulePath: everything after the last
// '\\', '/' or ':' with the extension (from the last '.') removed.
// "C:\\DIR\\QMXSET.EXE" gives "QMXSET". A name without a '.' is kept whole,
// and a '.' that belongs to a folder name is not taken for the extension.
std::string InstanceNameFromModulePath(const std::string& modulePath);

class AppBase {
public:
    AppBase();
    virtual ~AppBase();
    AppBase(const AppBase&) = delete;
    AppBase& operator=(const AppBase&) = delete;

    // The one application object, or nullptr before it exists.
    static AppBase* Current();

    // Runs the program. Returns the process exit status: m_exitCode, 0
    // unless InitInstance set another.
    int Run(HINSTANCE hInstance);

    // Called once by Run. FALSE ends the program without a message loop.
    virtual BOOL InitInstance();

    // A command that no window handled (the dialogs route their unknown
    // WM_COMMAND ids here). true when the application handled it.
    virtual bool OnCmdMsg(UINT id);

    // Where the program's own resources are.
    HINSTANCE ResourceHandle() const;

    DialogBase* MainWindow() const { return m_pMainWnd; }
    void SetMainWindow(DialogBase* window) { m_pMainWnd = window; }
    // The main window's handle, or nullptr while it has no window.
    HWND MainWindowHandle() const;

protected:
    std::string m_exeName;
    HINSTANCE m_hInstance;
    DialogBase* m_pMainWnd;
    int m_exitCode;
};
