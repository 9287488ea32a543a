// A module in a package or system folder, as the package check sees it:
// by our own reader of the file's bytes on the build machine, through the
// installer's own version query and machine reader on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/module_version.h"
#include "engine/version/module_machine.h"

struct ModuleProbe {
    bool listed = false;     // a folder search finds the name (a subfolder counts)
    bool directory = false;  // what it finds is a subfolder
    bool opened = false;     // a file of that name opened and its time was read
    // The name has no form in the file system's encoding: on the build
    // machine, bytes that are no character of the code page in force.
    bool unnamable = false;
    std::string path;        // folder and name as found
    std::string name;        // the name as the folder has it, in its encoding
    ModuleVersion version;   // read only when opened
    ModuleMachine machine;   // read only when opened: which programs can load it
    uint64_t lastWrite = 0;  // FILETIME ticks
};

// The installer's program in a package folder, as it ships: sealed and
// signed like the modules.
inline constexpr char kProgramName[] = "QMXSET.EXE";

// The separator of this side's own paths: "/" on the build machine, "\" on
// Windows.
extern const char kLocalSeparator;

// name, in the code page in force (AnsiCodePage), in folder, a path of this
// machine. Names match ignoring case, as on Windows, also where the build
// machine's file system tells case apart; there the name is converted to
// the file system's UTF-8 first, as a copy from Windows names its files.
ModuleProbe ProbeModule(const std::string& folder, const std::string& name);

// Whether folder can be listed at all.
bool FolderExists(const std::string& folder);

// The names of the files in folder, in the code page in force; a name with
// no form there is left out.
std::vector<std::string> ListFolder(const std::string& folder);
