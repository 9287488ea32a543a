#include "engine/protected_module.h"

#include <windows.h>

#include "platform/os_calls.h"
#include "platform/scoped_handle.h"
#include "platform/system_library.h"

namespace {

using SfcIsFileProtectedFn = BOOL(WINAPI*)(HANDLE, LPCWSTR);

}  // namespace

bool IsProtectedByWindows(const std::string& path) {
    // Its own imports (sfc_os.dll) come from the system folder too.
    ScopedLibrary library(LoadSystemLibrary("sfc.dll"));
    if (!library.IsValid()) return false;
    const auto isProtected = FindFunction<SfcIsFileProtectedFn>(library.Get(), "SfcIsFileProtected");
    if (!isProtected) return false;

    const int size = g_os.MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (size <= 0) return false;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (g_os.MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], size) != size) {
        return false;
    }
    return isProtected(nullptr, wide.c_str()) != FALSE;
}
