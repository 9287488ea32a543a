// A scratch folder under the Wine prefix's temp directory, removed with its
// content when the test ends.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Full path, without a trailing backslash.
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// Whole-file helpers that bypass the OS call table, for setting up and
// checking test state.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string* bytes);
// The whole file, or "<missing>" when it cannot be read.
std::string FileText(const std::string& path);
bool PathExists(const std::string& path);
void RemoveTree(const std::string& path);
