// Where the change list lives: the folder of the running executable.
#pragma once

#include <string>

// The drive and directory of modulePath, keeping the trailing separator ("\"
// or "/"): "C:\APP\QMXSET.EXE" gives "C:\APP\". Double-byte characters are
// stepped over whole, so a trail byte that equals "\" never splits the path.
// A path with no separator gives its drive ("C:") or an empty text.
std::string ModuleFolder(const std::string& modulePath);
