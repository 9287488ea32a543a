#include "engine/local/gate_findings.h"

#include <algorithm>
#include <cstring>

#include "platform/ansi_text.h"
#include "platform/file_basic_information.h"
#include "platform/os_calls.h"

void GateFindings::NotePresent(const std::string& path, HANDLE file) {
    // Through the handle in one call: GetFileInformationByHandle asks the
    // volume too, which under Wine costs more than the search it spares.
    BasicFileInformation info = {};
    IO_STATUS_BLOCK status = {};
    if (!g_os.NtQueryInformationFile ||
        g_os.NtQueryInformationFile(file, &status, &info, sizeof info, kFileBasicInformation) < 0) {
        return;
    }
    // The fields the run reads of a search's finding: the file's attributes
    // and times carry over to its replacement and its kept copy.
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = info.fileAttributes;
    data.ftCreationTime = FileTimeOf(info.creationTime);
    data.ftLastAccessTime = FileTimeOf(info.lastAccessTime);
    data.ftLastWriteTime = FileTimeOf(info.lastWriteTime);
    const std::string name = NameOf(path);
    std::memcpy(data.cFileName, name.data(), std::min(name.size(), sizeof data.cFileName - 1));
    m_present[path] = data;
}

namespace {

void Keep(std::map<std::string, HANDLE>& held, const std::string& path, HANDLE file) {
    if (!held.emplace(path, file).second) g_os.CloseHandle(file);
}

HANDLE Take(std::map<std::string, HANDLE>& held, const std::string& path) {
    const auto found = held.find(path);
    if (found == held.end()) return INVALID_HANDLE_VALUE;
    const HANDLE file = found->second;
    held.erase(found);
    return file;
}

void CloseAll(std::map<std::string, HANDLE>& held) {
    for (const auto& one : held) g_os.CloseHandle(one.second);
    held.clear();
}

}  // namespace

void GateFindings::Hold(const std::string& path, HANDLE file) { Keep(m_held, path, file); }

void GateFindings::HoldInstalled(const std::string& path, HANDLE file) { Keep(m_heldInstalled, path, file); }

void GateFindings::ReleaseInstalledBut(const std::string& path) {
    const HANDLE kept = Take(m_heldInstalled, path);
    CloseAll(m_heldInstalled);
    if (kept != INVALID_HANDLE_VALUE) m_heldInstalled.emplace(path, kept);
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
    const HANDLE file = Take(m_held, path);
    return file != INVALID_HANDLE_VALUE ? file : Take(m_heldInstalled, path);
}

void GateFindings::Clear() {
    CloseAll(m_held);
    CloseAll(m_heldInstalled);
    m_absent.clear();
    m_present.clear();
}
