#include "log/debug_log.h"

#include "platform/os_calls.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

namespace {

// The usual log sits in the drive root, where ordinary users may create
// files, and the installer runs elevated. A link planted there would let them
// aim our appends at any file, so anything but a plain single-link file is
// refused, at a path given on the command line too.
// The check is made on the handle we write through, leaving no window between
// check and use; FILE_FLAG_OPEN_REPARSE_POINT opens a link itself rather than
// its target, so even a refused link creates nothing.
bool IsPlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!g_os.GetFileInformationByHandle(file, &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    return info.nNumberOfLinks <= 1;
}

// Reparse points came with Windows 2000's NTFS. 95/98/Me know only FAT,
// which has none, and their CreateFileA predates the flag, so it is not
// asked of them; NT 4.0's ignores a flag it does not know.
DWORD OpenFlags() {
    OSVERSIONINFOA info;
    if (ReportedVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return FILE_ATTRIBUTE_NORMAL;
    return FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
}

}  // namespace

void AppendLogLine(const std::string& line) {
    ScopedFile file(g_os.CreateFileA(LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, OPEN_ALWAYS, OpenFlags(), nullptr));
    if (!file.IsValid() || !IsPlainFile(file.Get())) return;

    LONG high = 0;
    if (g_os.SetFilePointer(file.Get(), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
        g_os.GetLastError() != NO_ERROR) {
        return;
    }
    DWORD written = 0;
    g_os.WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
