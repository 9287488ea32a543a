#include "engine/protected_module.h"

#include <windows.h>

#include <cstring>

#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

using SfcIsFileProtectedFn = BOOL(WINAPI*)(HANDLE, LPCWSTR);

const char kSfcDll[] = "\\sfc.dll";

}  // namespace

bool IsProtectedByWindows(const std::string& path) {
    // By full path, never by bare name: the loader would look in the
    // program's folder first, which anyone may have filled. The altered
    // search path takes the library's own imports (sfc_os.dll) from the
    // system folder too.
    char dll[MAX_PATH];
    const UINT length = g_os.GetSystemDirectoryA(dll, MAX_PATH);
    if (length == 0 || length + sizeof kSfcDll > sizeof dll) return false;
    std::memcpy(dll + length, kSfcDll, sizeof kSfcDll);
    ScopedLibrary library(g_os.LoadLibraryExA(dll, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library.IsValid()) return false;
    // The cast through void* is the documented way to call what it returns.
    const auto isProtected = reinterpret_cast<SfcIsFileProtectedFn>(
        reinterpret_cast<void*>(g_os.GetProcAddress(library.Get(), "SfcIsFileProtected")));
    if (!isProtected) return false;

    const int size = g_os.MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (size <= 0) return false;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (g_os.MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], size) != size) {
        return false;
    }
    return isProtected(nullptr, wide.c_str()) != FALSE;
}
