// Test helper: the change list beside the running test executable, where
// GetChangeListPath looks for it. The folder is found without the reader, so
// a wrong path in the reader cannot go unnoticed.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

inline std::string TestExeFolder() {
    char module[4096];
#if defined(_WIN32)
    const DWORD length = ::GetModuleFileNameA(nullptr, module, sizeof module);
    const char separator = '\\';
#else
    const ssize_t length = ::readlink("/proc/self/exe", module, sizeof module);
    const char separator = '/';
#endif
    const std::string path(module, length > 0 ? static_cast<size_t>(length) : 0);
    return path.substr(0, path.rfind(separator) + 1);
}

inline std::string ChangeListPathBesideExe() { return TestExeFolder() + "QMX_CHG.DAT"; }

// Writes the change list on construction and removes it on destruction.
class ChangeListOnDisk {
public:
    explicit ChangeListOnDisk(const std::string& bytes) {
        std::ofstream(ChangeListPathBesideExe(), std::ios::binary | std::ios::trunc) << bytes;
    }
    ~ChangeListOnDisk() { std::remove(ChangeListPathBesideExe().c_str()); }
    ChangeListOnDisk(const ChangeListOnDisk&) = delete;
    ChangeListOnDisk& operator=(const ChangeListOnDisk&) = delete;
};
