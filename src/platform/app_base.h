// The application object of a dialog-driven Win32 program.
//
// One object exists per process. Run() keeps the executable's base name (the
// instance name), calls InitInstance once and runs a message loop only when
// InitInstance asks for one by returning TRUE.
#pragma once

#include <windows.h>

#include <string>

#include "platform/resource_string.h"

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

    // Runs the program. Returns the process exit status: m_exitCode, 0
    // unless InitInstance set another.
    int Run(HINSTANCE hInstance);

    // Called once by Run. FALSE ends the program without a message loop.
    virtual BOOL InitInstance();

    // Where the program's own resources are: its instance, or its file
    // before Run.
    HINSTANCE ResourceHandle() const { return ResourceModule(m_hInstance); }

protected:
    std::string m_exeName;
    HINSTANCE m_hInstance;
    int m_exitCode;
};
