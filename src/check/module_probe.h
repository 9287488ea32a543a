// A module in a package or system folder, as the package check sees it:
// by our own reader of the file's bytes on the build machine, through the
// installer's own version query on Windows.
#pragma once

#include <cstdint>
#include <string>

#include "check/module_version.h"

struct ModuleProbe {
    bool listed = false;    // a folder search finds the name (a subfolder counts)
    bool opened = false;    // a file of that name opened and its time was read
    std::string path;       // folder and name as found
    ModuleVersion version;  // read only when opened
    uint64_t lastWrite = 0; // FILETIME ticks
};

// name in folder. Names match ignoring ASCII case, as on Windows, also where
// the build machine's file system tells case apart.
ModuleProbe ProbeModule(const std::string& folder, const std::string& name);

// Whether folder can be listed at all.
bool FolderExists(const std::string& folder);

// folder and name joined by this side's separator, "/" or "\", unless
// folder already ends in one.
std::string JoinFolder(const std::string& folder, const std::string& name);
