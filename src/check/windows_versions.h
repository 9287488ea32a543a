// The Windows versions a change list can target, as the installer sees them:
// the platform id, major and minor version GetVersionExA reports to it, its
// manifest declaring every version up to Windows 10 (so 11 and the later
// servers report 10.0 as well). Free of Win32.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WindowsVersion {
    const char* name;      // what --windows takes, e.g. "XP", "10"
    const char* fullName;  // e.g. "Windows XP"
    uint32_t platformId;
    uint32_t majorVersion;
    uint32_t minorVersion;
};

// Oldest first: 95 to 11 and their servers.
const std::vector<WindowsVersion>& KnownWindows();

// The entry whose name is name, ignoring ASCII case; null when none is.
const WindowsVersion* FindWindows(const std::string& name);
