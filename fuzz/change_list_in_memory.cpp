#include "change_list_in_memory.h"

#include <string>

#include "changelist/change_list_file.h"

namespace {

const char* g_bytes = nullptr;
size_t g_size = 0;

}  // namespace

void SetChangeListBytes(const char* data, size_t size) {
    g_bytes = data;
    g_size = size;
}

std::string ChangeListFile::GetChangeListPath(std::string fileName) {
    if (m_path.empty()) m_path = fileName.empty() ? std::string("QMX_CHG.DAT") : fileName;
    return m_path;
}

int ChangeListFile::Load() {
    LoadFromMemory(g_bytes, g_size);
    return m_loaded;
}
