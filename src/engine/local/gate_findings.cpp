#include "engine/local/gate_findings.h"

#include <cstring>

#include "platform/ansi_text.h"
#include "platform/os_calls.h"

void GateFindings::NotePresent(const std::string& path, HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!g_os.GetFileInformationByHandle(file, &info)) return;
    // The fields the run reads of a search's finding: the file's attributes
    // and times carry over to its replacement and its kept copy.
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = info.dwFileAttributes;
    data.ftCreationTime = info.ftCreationTime;
    data.ftLastAccessTime = info.ftLastAccessTime;
    data.ftLastWriteTime = info.ftLastWriteTime;
    data.nFileSizeHigh = info.nFileSizeHigh;
    data.nFileSizeLow = info.nFileSizeLow;
    const std::string name = NameOf(path);
    std::strncpy(data.cFileName, name.c_str(), sizeof data.cFileName - 1);
    m_present[path] = data;
}

void GateFindings::Hold(const std::string& path, HANDLE file) {
    if (!m_held.emplace(path, file).second) g_os.CloseHandle(file);
}

int GateFindings::TakeInstalled(const std::string& path, WIN32_FIND_DATAA* data) {
    if (m_absent.erase(path) != 0) return 0;
    const auto found = m_present.find(path);
    if (found == m_present.end()) return -1;
    *data = found->second;
    m_present.erase(found);
    return 1;
}

HANDLE GateFindings::TakeHeld(const std::string& path) {
    const auto found = m_held.find(path);
    if (found == m_held.end()) return INVALID_HANDLE_VALUE;
    const HANDLE file = found->second;
    m_held.erase(found);
    return file;
}

void GateFindings::Clear() {
    for (const auto& held : m_held) g_os.CloseHandle(held.second);
    m_held.clear();
    m_absent.clear();
    m_present.clear();
}
