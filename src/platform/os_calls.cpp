#include "platform/os_calls.h"

#include "platform/system_version_dll.h"

namespace {

// An entry that old kernel32 versions lack, or null: importing it would keep
// the program from loading there at all.
template <typename Fn>
Fn Kernel32Entry(const char* name) {
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (!kernel) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
}

const OsCalls kReal = {
    ::CreateFileA,
    ::ReadFile,
    ::WriteFile,
    ::SetFilePointer,
    ::GetFileSizeEx,
    ::GetFileInformationByHandle,
    ::GetFileTime,
    ::CompareFileTime,
    ::CloseHandle,
    ::FindFirstFileA,
    ::FindClose,
    ::CopyFileA,
    ::MoveFileExA,
    ::MoveFileA,
    ::DeleteFileA,
    ::GetTempFileNameA,
    ::FlushFileBuffers,
    ::SetFileAttributesA,
    ::SetFileTime,
    Kernel32Entry<decltype(&::ReplaceFileA)>("ReplaceFileA"),
    ::GetShortPathNameA,
    ::WritePrivateProfileStringA,
    ::RegOpenKeyExA,
    ::RegQueryValueExA,
    ::RegCloseKey,
    ::GetModuleFileNameA,
    ::GetSystemDirectoryA,
    ::GetWindowsDirectoryA,
    ::GetVersionExA,
    ::GetUserDefaultLangID,
    ::CharUpperBuffA,
    ::IsDBCSLeadByte,
    ::LocalAlloc,
    ::LocalFree,
    ::GetLastError,
    ::GetCurrentThread,
    ::GetCurrentProcess,
    ::OpenThreadToken,
    ::OpenProcessToken,
    ::GetTokenInformation,
    ::AllocateAndInitializeSid,
    ::EqualSid,
    ::FreeSid,
    SystemGetFileVersionInfoSizeA,
    SystemGetFileVersionInfoA,
    SystemVerQueryValueA,
};

}  // namespace

OsCalls g_os = kReal;

const OsCalls& RealOsCalls() { return kReal; }
