#include "call_profile.h"

#include <windows.h>

#include <algorithm>

#include "platform/os_calls.h"

namespace {

#define QMX_PROFILED_CALLS(X)                                                                                     \
    X(CreateFileA) X(ReadFile) X(WriteFile) X(SetFilePointer) X(GetFileSizeEx) X(GetFileSize)                     \
    X(GetFileInformationByHandle) X(GetFileTime) X(CloseHandle) X(FindFirstFileA) X(FindClose) X(FindNextFileA)   \
    X(CopyFileA) X(MoveFileExA) X(MoveFileA) X(DeleteFileA) X(CreateDirectoryA) X(CreateHardLinkA)                \
    X(NtSetInformationFile) X(NtQueryInformationFile) X(GetFullPathNameW) X(GetTempFileNameA) X(FlushFileBuffers) X(SetFileAttributesA)     \
    X(SetFileTime) X(GetShortPathNameA)                                                                           \
    X(WritePrivateProfileStringA) X(GetPrivateProfileSectionA) X(RegOpenKeyExA) X(RegQueryValueExA)               \
    X(RegCloseKey) X(GetModuleFileNameA) X(GetSystemDirectoryA) X(GetWindowsDirectoryA)                           \
    X(GetSystemWow64DirectoryA) X(GetVersionExA) X(GetUserDefaultLangID) X(CharUpperBuffA) X(IsDBCSLeadByte)      \
    X(GetACP) X(MultiByteToWideChar) X(WideCharToMultiByte) X(LocalAlloc) X(LocalFree) X(OpenThreadToken)         \
    X(OpenProcessToken) X(GetTokenInformation) X(AllocateAndInitializeSid) X(EqualSid) X(FreeSid)                 \
    X(GetSecurityInfo) X(SetKernelObjectSecurity) X(LoadLibraryExA) X(GetProcAddress) X(FreeLibrary)              \
    X(GetFileVersionInfoSizeA) X(GetFileVersionInfoA) X(VerQueryValueA)

enum CallIndex {
#define QMX_INDEX(name) k##name,
    QMX_PROFILED_CALLS(QMX_INDEX)
#undef QMX_INDEX
    kCallCount
};

const char* const kNames[] = {
#define QMX_NAME(name) #name,
    QMX_PROFILED_CALLS(QMX_NAME)
#undef QMX_NAME
};

uint64_t g_calls[kCallCount];
int64_t g_ticks[kCallCount];

template <int Index, typename Fn>
struct Timed;

// The real function, called between two readings of the counter; the last
// error it leaves is kept, as callers read it next.
template <int Index, typename R, typename... A>
struct Timed<Index, R(WINAPI*)(A...)> {
    static inline R(WINAPI* real)(A...) = nullptr;
    static R WINAPI Call(A... arguments) {
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        R result = real(arguments...);
        const DWORD error = ::GetLastError();
        ::QueryPerformanceCounter(&end);
        ::SetLastError(error);
        ++g_calls[Index];
        g_ticks[Index] += end.QuadPart - start.QuadPart;
        return result;
    }
};

OsCalls g_saved;

template <int Index, typename Fn>
void Wrap(Fn* entry) {
    if (*entry == nullptr) return;
    Timed<Index, Fn>::real = *entry;
    *entry = &Timed<Index, Fn>::Call;
}

}  // namespace

CallProfile::CallProfile() {
    g_saved = g_os;
    std::fill(g_calls, g_calls + kCallCount, 0);
    std::fill(g_ticks, g_ticks + kCallCount, 0);
#define QMX_WRAP(name) Wrap<k##name>(&g_os.name);
    QMX_PROFILED_CALLS(QMX_WRAP)
#undef QMX_WRAP
}

CallProfile::~CallProfile() { g_os = g_saved; }

std::vector<CallCost> CallProfile::Costs() const {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    std::vector<CallCost> costs;
    for (int i = 0; i < kCallCount; ++i) {
        if (g_calls[i] == 0) continue;
        costs.push_back({kNames[i], g_calls[i], static_cast<double>(g_ticks[i]) / frequency.QuadPart});
    }
    std::sort(costs.begin(), costs.end(), [](const CallCost& a, const CallCost& b) { return a.seconds > b.seconds; });
    return costs;
}
