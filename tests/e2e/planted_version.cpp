// A VERSION.DLL as an attacker would leave it beside the installer. Being
// loaded is recorded (Wine's own user32 imports version.dll, so the loader
// maps this copy into any windowed process of the folder); the installer
// calling one of the ANSI functions it uses is recorded too, and that must
// never happen. The queries fail, so a program that called them would see no
// version at all. The wide functions, which user32 needs, are forwarded to
// the system (see the .def file).
#include <windows.h>

namespace {

HMODULE g_self = nullptr;

void LeaveMarker(const char* name) {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(g_self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    char* slash = path + length;
    while (slash > path && slash[-1] != '\\') --slash;
    if (static_cast<size_t>(slash - path) + lstrlenA(name) >= MAX_PATH) return;
    lstrcpyA(slash, name);
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        LeaveMarker("PLANTED_LOADED.TXT");
    }
    return TRUE;
}

DWORD WINAPI PlantedSizeA(LPCSTR, LPDWORD) {
    LeaveMarker("PLANTED_CALLED.TXT");
    return 0;
}

BOOL WINAPI PlantedInfoA(LPCSTR, DWORD, DWORD, LPVOID) {
    LeaveMarker("PLANTED_CALLED.TXT");
    return FALSE;
}

BOOL WINAPI PlantedQueryA(LPCVOID, LPCSTR, LPVOID*, PUINT) {
    LeaveMarker("PLANTED_CALLED.TXT");
    return FALSE;
}

}  // extern "C"
