// Finding and loading the change list on Windows.
#include "changelist/change_list_file.h"

#include <limits>
#include <new>

#include "platform/ansi_text.h"
#include "platform/os_calls.h"
#include "platform/program_path.h"
#include "platform/scoped_handle.h"

namespace {

// The file's length, or -1 if it cannot be read.
LONGLONG FileLength(HANDLE file) {
    LARGE_INTEGER length;
    if (g_os.GetFileSizeEx) return g_os.GetFileSizeEx(file, &length) ? length.QuadPart : -1;
    // 95/98/Me and NT 4.0. An all-ones low half is also a real length; only
    // the last error tells them apart.
    DWORD high = 0;
    const DWORD low = g_os.GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && g_os.GetLastError() != NO_ERROR) return -1;
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(high) << 32) | low);
}

}  // namespace

int ChangeListFile::Failed(uint32_t error) {
    m_loadError = error;
    return 0;
}

std::string ChangeListFile::GetChangeListPath(std::string fileName) {
    if (!m_path.empty()) return m_path;
    // A truncated module path would name some other folder's change list; it
    // is refused, leaving the path empty so that Load fails.
    const std::string folder = ProgramFolder();
    if (folder.empty()) return m_path;
    m_path = JoinPath(folder, fileName.empty() ? std::string(kChangeListName) : fileName);
    return m_path;
}

int ChangeListFile::Load() {
    if (LoadTaken()) return 1;
    m_loaded = 0;
    m_position = 0;
    m_loadError = 0;
    // Read sharing only: nobody may change the list while it is being read.
    ScopedFile file(g_os.CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return Failed(g_os.GetLastError());

    const LONGLONG length = FileLength(file.Get());
    if (length < 0) return Failed(g_os.GetLastError());
    if (length > std::numeric_limits<int32_t>::max()) return Failed(ERROR_FILE_TOO_LARGE);
    const int32_t size = static_cast<int32_t>(length);

    m_buffer.reset();
    m_size = 0;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size > 0 ? size : 1]);
    if (!buffer) return Failed(ERROR_NOT_ENOUGH_MEMORY);

    // A failed read, or an end of data before the announced length, fails the
    // load: a partial list could drop the entries that matter.
    int32_t received = 0;
    while (received < size) {
        const DWORD wanted = static_cast<DWORD>(size - received);
        DWORD got = 0;
        if (!g_os.ReadFile(file.Get(), buffer.get() + received, wanted, &got, nullptr)) {
            return Failed(g_os.GetLastError());
        }
        if (got == 0 || got > wanted) return Failed(ERROR_HANDLE_EOF);
        received += static_cast<int32_t>(got);
    }
    m_buffer = std::move(buffer);
    m_size = size;
    m_loaded = 1;
    return 1;
}
