// The queries that load the change list themselves, each asked of a list
// with the given bytes, written beside the test executable for that one
// query and removed after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "changelist/change_list_file.h"
#include "support/change_list_test_file.h"

// Every [File] entry, read as the installation run reads them.
inline std::vector<std::string> FileEntriesWith(const std::string& bytes) {
    ChangeListOnDisk file(bytes);
    ChangeListFile list;
    std::vector<std::string> entries;
    std::string entry;
    for (int found = list.FirstFileEntry(entry, ""); found; found = list.NextEntry(entry)) {
        entries.push_back(entry);
    }
    return entries;
}

inline int LogOnWith(const std::string& bytes) {
    ChangeListOnDisk file(bytes);
    return ChangeListFile().IsLogOn();
}

inline int TargetsWith(const std::string& bytes, uint32_t platform, uint32_t major, uint32_t minor) {
    ChangeListOnDisk file(bytes);
    return ChangeListFile().CheckInstallVersion(platform, major, minor, "");
}
