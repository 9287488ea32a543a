// Which of two modules is newer, from what was read of them: the decision
// of the installer's comparison, free of Win32 so that the package check
// takes the same one from files it reads itself.
#pragma once

#include <cstdint>
#include <string>

enum : int32_t {
    QMX_COMP_FILE1_IS_NEW = 0,
    QMX_COMP_FILE2_IS_NEW = 1,
    QMX_COMP_SAME = 2,
    QMX_COMP_FILE1_NOT_EXIST = 3,
    QMX_COMP_FILE2_NOT_EXIST = 4,
    QMX_COMP_BOTH_NOT_EXIST = 5,
};

struct ModuleFacts {
    std::string path;          // as the log names it
    bool exists = false;       // opened, and its last-write time read
    int versionRead = 0;       // 1 when its FileVersion text was read
    std::string version;       // that text
    uint64_t lastWrite = 0;    // last-write time in FILETIME ticks
};

// QMX_COMP_*: missing files first, then the FileVersion texts (equal
// ignoring ASCII case, else their first three numbers), then the last-write
// times when the texts do not decide or cannot be read. Each step is traced
// to the diagnostic log. Versions are looked at only when both exist.
int32_t CompareModules(const ModuleFacts& first, const ModuleFacts& second);
