// Native stand-in for finding and loading the change list, so the reading
// logic and its tests run on the build machine: the list sits beside the
// running executable as on Windows.
#include "changelist/change_list_file.h"

#include <unistd.h>

#include <cerrno>

#include <fstream>
#include <limits>
#include <new>

#include "platform/ansi_text.h"

int ChangeListFile::Failed(uint32_t error) {
    m_loadError = error;
    return 0;
}

std::string ChangeListFile::GetChangeListPath(std::string fileName) {
    if (!m_path.empty()) return m_path;
    char module[4096];
    const ssize_t length = ::readlink("/proc/self/exe", module, sizeof module);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof module) return m_path;
    m_path = JoinPath(ModuleFolder(std::string(module, static_cast<size_t>(length))),
                      fileName.empty() ? std::string(kChangeListName) : fileName, '/');
    return m_path;
}

int ChangeListFile::Load() {
    if (LoadTaken()) return 1;
    m_loaded = 0;
    m_position = 0;
    m_loadError = 0;
    std::ifstream in(m_path, std::ios::binary);
    if (!in) return Failed(static_cast<uint32_t>(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0 || length > std::numeric_limits<int32_t>::max()) return Failed(EFBIG);
    in.seekg(0, std::ios::beg);
    const int32_t size = static_cast<int32_t>(length);

    m_buffer.reset();
    m_size = 0;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size > 0 ? size : 1]);
    if (!buffer) return Failed(ENOMEM);
    if (size > 0 && !in.read(buffer.get(), size)) return Failed(EIO);
    m_buffer = std::move(buffer);
    m_size = size;
    m_loaded = 1;
    return 1;
}
