#include "platform/system_version_dll.h"

#include "platform/system_library.h"

namespace {

using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

struct VersionDll {
    bool tried;
    SizeFn size;
    InfoFn info;
    QueryFn query;
};

VersionDll g_dll = {false, nullptr, nullptr, nullptr};

// Loads once; a failure stays a failure for the rest of the run, so every
// query after it fails the same way.
const VersionDll& Dll() {
    if (g_dll.tried) return g_dll;
    g_dll.tried = true;
    // Kept loaded for the rest of the process, by the real functions: these
    // are the call table's own defaults.
    const HMODULE module = LoadSystemLibrary("version.dll", RealOsCalls());
    if (!module) return g_dll;
    g_dll.size = FindFunction<SizeFn>(module, "GetFileVersionInfoSizeA");
    g_dll.info = FindFunction<InfoFn>(module, "GetFileVersionInfoA");
    g_dll.query = FindFunction<QueryFn>(module, "VerQueryValueA");
    return g_dll;
}

}  // namespace

DWORD WINAPI SystemGetFileVersionInfoSizeA(LPCSTR name, LPDWORD handle) {
    if (const SizeFn size = Dll().size) return size(name, handle);
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
}

BOOL WINAPI SystemGetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD size, LPVOID data) {
    if (const InfoFn info = Dll().info) return info(name, handle, size, data);
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI SystemVerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    if (const QueryFn query = Dll().query) return query(block, subBlock, buffer, length);
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

void RestrictDllSearchToSystem() {
    using SetDirsFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    // Windows 8 and later, and earlier systems with the 2011 loader update.
    if (const SetDirsFn setDirs = FindFunction<SetDirsFn>(kernel, "SetDefaultDllDirectories")) {
        setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}
