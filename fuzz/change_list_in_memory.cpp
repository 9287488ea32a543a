#include "change_list_in_memory.h"

#include <cstring>
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
    m_loaded = 0;
    m_position = 0;
    m_buffer.reset(new char[g_size > 0 ? g_size : 1]);
    if (g_size > 0) std::memcpy(m_buffer.get(), g_bytes, g_size);
    m_size = static_cast<int32_t>(g_size);
    m_loaded = 1;
    return 1;
}
