// What the installer knows of the machine it installs on: read once by the
// probe (InstallEnvironment) on Windows, or given by the package check for
// the Windows version it predicts for. Free of Win32.
#pragma once

#include <cstdint>
#include <string>

enum : int32_t {
    QMX_OS_NONE = -1,         // not classified
    QMX_OS_WIN9X = 0,         // platform 1: Windows 95, 98, Me
    QMX_OS_NT351 = 1,         // platform 2, 3.51 and up
    QMX_OS_NT4 = 2,           // platform 2, 4.x
    QMX_OS_NT5_OR_LATER = 3,  // platform 2, 5.0 and every later major version
};

enum : int {
    QMX_LANG_JAPANESE = 0,
    QMX_LANG_ENGLISH = 1,
};

struct Machine {
    int32_t osClass = QMX_OS_NONE;
    int32_t isAdmin = 0;             // 1 when the user may install
    int32_t language = QMX_LANG_ENGLISH;
    std::string systemDir;           // empty when it could not be read
    // The folder that really holds systemDir where Windows redirects it (a
    // 32-bit program's system32 on 64-bit Windows is SysWOW64); else empty.
    std::string realSystemDir;
    std::string programDir;          // the executable's (or the package's) folder
    uint32_t platformId = 0;         // as GetVersionExA reports them
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
};

// The class GetVersionExA's platform and version fall into, or QMX_OS_NONE.
int32_t ClassifyWindows(uint32_t platformId, uint32_t majorVersion, uint32_t minorVersion);
