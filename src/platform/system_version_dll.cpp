#include "platform/system_version_dll.h"

#include <cstring>

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

const char kDllName[] = "\\version.dll";

// A function pointer from GetProcAddress's FARPROC; the cast is the
// documented way to call what it returns.
template <typename Fn>
Fn Find(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Loads once; a failure stays a failure for the rest of the run, so every
// query after it fails the same way.
const VersionDll& Dll() {
    if (g_dll.tried) return g_dll;
    g_dll.tried = true;
    char path[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof kDllName > sizeof path) return g_dll;
    std::memcpy(path + length, kDllName, sizeof kDllName);
    // The altered search path resolves the library's own imports from its
    // folder, the system folder, not from ours.
    const HMODULE module = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return g_dll;
    g_dll.size = Find<SizeFn>(module, "GetFileVersionInfoSizeA");
    g_dll.info = Find<InfoFn>(module, "GetFileVersionInfoA");
    g_dll.query = Find<QueryFn>(module, "VerQueryValueA");
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
    if (const SetDirsFn setDirs = Find<SetDirsFn>(kernel, "SetDefaultDllDirectories")) {
        setDirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}
