#include "platform/windows_folder.h"

#include "platform/os_calls.h"

std::string WindowsFolder(uint32_t* error) {
    // One byte more than MAX_PATH: a length this size or more means the
    // buffer was too small and holds nothing.
    char folder[MAX_PATH + 1] = {};
    const UINT length = g_os.GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) {
        *error = length == 0 ? g_os.GetLastError() : ERROR_INSUFFICIENT_BUFFER;
        return std::string();
    }
    return std::string(folder, length);
}
