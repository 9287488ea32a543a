#include "platform/os_calls.h"

#include "platform/system_version_dll.h"

namespace {

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
