// The one seam between the installer's logic and Win32.
//
// Every Win32 call that the change list, the log and the engine make goes
// through g_os, so a test can replace a single entry (OsCallsGuard) to inject
// a failure or an odd value, while everything else runs against the real
// system. Call sites read like plain Win32: g_os.CreateFileA(...).
//
// The program imports only what the oldest Windows it runs on exports (the
// loader refuses to start it otherwise). A newer function is looked up by
// name at start-up instead: its entry is null where this system lacks it,
// and the caller falls back to what the old systems offer. A test marks such
// an entry absent to take the fallback on any system.
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <winternl.h>

struct OsCalls {
    // Files.
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::SetFilePointer) SetFilePointer;
    decltype(&::GetFileSizeEx) GetFileSizeEx;  // may be null: 2000 and later
    decltype(&::GetFileSize) GetFileSize;
    decltype(&::GetFileInformationByHandle) GetFileInformationByHandle;
    decltype(&::GetFileTime) GetFileTime;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::FindFirstFileA) FindFirstFileA;
    decltype(&::FindClose) FindClose;
    decltype(&::FindNextFileA) FindNextFileA;
    decltype(&::CopyFileA) CopyFileA;
    decltype(&::MoveFileExA) MoveFileExA;
    decltype(&::MoveFileA) MoveFileA;
    decltype(&::DeleteFileA) DeleteFileA;
    decltype(&::CreateDirectoryA) CreateDirectoryA;
    // A second name for a file: may be null, as before 2000.
    decltype(&::CreateHardLinkA) CreateHardLinkA;
    // The same through a handle already open: ntdll's, may be null (95/98/Me).
    decltype(&::NtSetInformationFile) NtSetInformationFile;
    // And a file's times and attributes read so: ntdll's, may be null.
    decltype(&::NtQueryInformationFile) NtQueryInformationFile;
    // Win32's own reading of a path, as the A functions make it: may be null.
    decltype(&::GetFullPathNameW) GetFullPathNameW;
    decltype(&::GetTempFileNameA) GetTempFileNameA;
    decltype(&::FlushFileBuffers) FlushFileBuffers;
    decltype(&::SetFileAttributesA) SetFileAttributesA;
    decltype(&::SetFileTime) SetFileTime;
    decltype(&::GetShortPathNameA) GetShortPathNameA;
    decltype(&::WritePrivateProfileStringA) WritePrivateProfileStringA;
    decltype(&::GetPrivateProfileSectionA) GetPrivateProfileSectionA;
    // Registry: the restart-time move list.
    decltype(&::RegOpenKeyExA) RegOpenKeyExA;
    decltype(&::RegQueryValueExA) RegQueryValueExA;
    decltype(&::RegCloseKey) RegCloseKey;
    // Folders, and the program's own image (its headers: whether it is signed).
    decltype(&::GetModuleFileNameA) GetModuleFileNameA;
    decltype(&::GetModuleHandleA) GetModuleHandleA;
    decltype(&::GetSystemDirectoryA) GetSystemDirectoryA;
    decltype(&::GetWindowsDirectoryA) GetWindowsDirectoryA;
    // The folder that really holds a 32-bit program's system32 on 64-bit
    // Windows: may be null, as before XP.
    decltype(&::GetSystemWow64DirectoryA) GetSystemWow64DirectoryA;
    // Version, language, text.
    decltype(&::GetVersionExA) GetVersionExA;
    decltype(&::GetUserDefaultLangID) GetUserDefaultLangID;
    decltype(&::CharUpperBuffA) CharUpperBuffA;
    decltype(&::IsDBCSLeadByte) IsDBCSLeadByte;
    decltype(&::GetACP) GetACP;
    decltype(&::MultiByteToWideChar) MultiByteToWideChar;
    decltype(&::WideCharToMultiByte) WideCharToMultiByte;
    // Memory.
    decltype(&::LocalAlloc) LocalAlloc;
    decltype(&::LocalFree) LocalFree;
    // Errors.
    decltype(&::GetLastError) GetLastError;
    // Security.
    decltype(&::GetCurrentThread) GetCurrentThread;
    decltype(&::GetCurrentProcess) GetCurrentProcess;
    decltype(&::OpenThreadToken) OpenThreadToken;
    decltype(&::OpenProcessToken) OpenProcessToken;
    decltype(&::GetTokenInformation) GetTokenInformation;
    decltype(&::AllocateAndInitializeSid) AllocateAndInitializeSid;
    decltype(&::EqualSid) EqualSid;
    decltype(&::FreeSid) FreeSid;
    // A module's owner and DACL, carried over to its replacement: the NT
    // family's, looked up when the program starts; null where advapi32
    // lacks them.
    decltype(&::GetSecurityInfo) GetSecurityInfo;
    decltype(&::SetKernelObjectSecurity) SetKernelObjectSecurity;
    // Libraries that the program loads by full path when it needs them.
    decltype(&::LoadLibraryExA) LoadLibraryExA;
    decltype(&::GetProcAddress) GetProcAddress;
    decltype(&::FreeLibrary) FreeLibrary;
    // Version resources.
    decltype(&::GetFileVersionInfoSizeA) GetFileVersionInfoSizeA;
    decltype(&::GetFileVersionInfoA) GetFileVersionInfoA;
    decltype(&::VerQueryValueA) VerQueryValueA;
    // Monitors: may be null, as on 95 and NT 4.0.
    decltype(&::MonitorFromWindow) MonitorFromWindow;
    decltype(&::GetMonitorInfoA) GetMonitorInfoA;
    // Whether the system keeps the vector registers: may be null, as on 95.
    decltype(&::IsProcessorFeaturePresent) IsProcessorFeaturePresent;
};

// The live table. Entries default to the real functions.
extern OsCalls g_os;

// The table as it was at start-up: the real functions.
const OsCalls& RealOsCalls();

// Restores every entry of g_os when it goes out of scope, so a test that
// swaps entries cannot leak its fakes into the next test.
class OsCallsGuard {
public:
    OsCallsGuard() : m_saved(g_os) {}
    ~OsCallsGuard() { g_os = m_saved; }
    OsCallsGuard(const OsCallsGuard&) = delete;
    OsCallsGuard& operator=(const OsCallsGuard&) = delete;

    template <typename Fn>
    void Set(Fn OsCalls::*entry, Fn replacement) { g_os.*entry = replacement; }

    // As on a system that lacks the function.
    template <typename Fn>
    void MarkAbsent(Fn OsCalls::*entry) { g_os.*entry = nullptr; }

private:
    OsCalls m_saved;
};
