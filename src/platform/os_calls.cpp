#include "platform/os_calls.h"

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
    ::GetFileVersionInfoSizeA,
    ::GetFileVersionInfoA,
    ::VerQueryValueA,
};

}  // namespace

OsCalls g_os = kReal;

const OsCalls& RealOsCalls() { return kReal; }
