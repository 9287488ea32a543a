#include "platform/os_calls.h"

#include "platform/system_version_dll.h"

namespace {

// The function if this system's copy of an imported DLL exports it, else null.
template <typename Fn>
Fn Optional(const char* dll, const char* name) {
    const HMODULE module = ::GetModuleHandleA(dll);
    if (!module) return nullptr;
    // The cast through void* is the documented way to call what it returns.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const OsCalls kReal = {
    ::CreateFileA,
    ::ReadFile,
    ::WriteFile,
    ::SetFilePointer,
    Optional<decltype(&::GetFileSizeEx)>("kernel32.dll", "GetFileSizeEx"),
    ::GetFileSize,
    ::GetFileInformationByHandle,
    ::GetFileTime,
    ::CloseHandle,
    ::FindFirstFileA,
    ::FindClose,
    ::FindNextFileA,
    ::CopyFileA,
    ::MoveFileExA,
    ::MoveFileA,
    ::DeleteFileA,
    ::CreateDirectoryA,
    Optional<decltype(&::CreateHardLinkA)>("kernel32.dll", "CreateHardLinkA"),
    Optional<decltype(&::NtSetInformationFile)>("ntdll.dll", "NtSetInformationFile"),
    Optional<decltype(&::NtQueryInformationFile)>("ntdll.dll", "NtQueryInformationFile"),
    Optional<decltype(&::GetFullPathNameW)>("kernel32.dll", "GetFullPathNameW"),
    ::GetTempFileNameA,
    ::FlushFileBuffers,
    ::SetFileAttributesA,
    ::SetFileTime,
    ::GetShortPathNameA,
    ::WritePrivateProfileStringA,
    ::GetPrivateProfileSectionA,
    ::RegOpenKeyExA,
    ::RegQueryValueExA,
    ::RegCloseKey,
    ::GetModuleFileNameA,
    ::GetModuleHandleA,
    ::GetSystemDirectoryA,
    ::GetWindowsDirectoryA,
    Optional<decltype(&::GetSystemWow64DirectoryA)>("kernel32.dll", "GetSystemWow64DirectoryA"),
    ::GetVersionExA,
    ::GetUserDefaultLangID,
    ::CharUpperBuffA,
    ::IsDBCSLeadByte,
    ::GetACP,
    ::MultiByteToWideChar,
    ::WideCharToMultiByte,
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
    Optional<decltype(&::GetSecurityInfo)>("advapi32.dll", "GetSecurityInfo"),
    Optional<decltype(&::SetKernelObjectSecurity)>("advapi32.dll", "SetKernelObjectSecurity"),
    ::LoadLibraryExA,
    ::GetProcAddress,
    ::FreeLibrary,
    SystemGetFileVersionInfoSizeA,
    SystemGetFileVersionInfoA,
    SystemVerQueryValueA,
    Optional<decltype(&::MonitorFromWindow)>("user32.dll", "MonitorFromWindow"),
    Optional<decltype(&::GetMonitorInfoA)>("user32.dll", "GetMonitorInfoA"),
    Optional<decltype(&::IsProcessorFeaturePresent)>("kernel32.dll", "IsProcessorFeaturePresent"),
};

}  // namespace

OsCalls g_os = kReal;

const OsCalls& RealOsCalls() { return kReal; }
