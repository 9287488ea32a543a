#include "platform/system_library.h"

#include "platform/ansi_text.h"

HMODULE LoadSystemLibrary(const char* fileName, const OsCalls& os) {
    char folder[MAX_PATH];
    // A result of MAX_PATH or more is the size a longer folder would need.
    const UINT length = os.GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::string path = JoinPath(std::string(folder, length), fileName);
    if (path.size() >= MAX_PATH) return nullptr;
    return os.LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
