// Counts what code under test acquires and releases through the OS call
// table: file handles (CreateFileA / CloseHandle), token handles
// (OpenThreadToken, OpenProcessToken / CloseHandle), heap blocks (LocalAlloc /
// LocalFree), SIDs (AllocateAndInitializeSid / FreeSid) and find handles
// (FindFirstFileA / FindClose), registry keys (RegOpenKeyExA / RegCloseKey),
// libraries (LoadLibraryExA / FreeLibrary), and the security descriptors that
// GetSecurityInfo hands out, as heap blocks (LocalFree).
//
// Construct it before the code under test runs; every hooked entry forwards
// to whatever the table held at that moment, so faults and fakes installed
// earlier stay in effect, and ones installed later wrap the counter. The
// entries are restored when it goes away. One counter at a time.
//
//   ResourceCounter counter;
//   env.CheckAdministrator();
//   EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
//
// A release is counted when the code calls the releasing function with a
// handle it acquired, whatever that function returns: the code under test
// did its part, and a fake release may legitimately fail. A release of
// anything not currently held (a double close, or a handle from before the
// counter) counts as stray.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "platform/os_calls.h"

class ResourceCounter {
public:
    enum Kind { kFile, kToken, kHeap, kSid, kFind, kRegKey, kLibrary, kKindCount };

    ResourceCounter() {
        s_previous = g_os;
        s_live.clear();
        for (int& n : s_acquired) n = 0;
        s_stray = 0;
        g_os.CreateFileA = &HookCreateFileA;
        g_os.CloseHandle = &HookCloseHandle;
        g_os.OpenThreadToken = &HookOpenThreadToken;
        g_os.OpenProcessToken = &HookOpenProcessToken;
        g_os.LocalAlloc = &HookLocalAlloc;
        g_os.LocalFree = &HookLocalFree;
        g_os.AllocateAndInitializeSid = &HookAllocateAndInitializeSid;
        g_os.FreeSid = &HookFreeSid;
        g_os.FindFirstFileA = &HookFindFirstFileA;
        g_os.FindClose = &HookFindClose;
        g_os.RegOpenKeyExA = &HookRegOpenKeyExA;
        g_os.RegCloseKey = &HookRegCloseKey;
        g_os.LoadLibraryExA = &HookLoadLibraryExA;
        g_os.FreeLibrary = &HookFreeLibrary;
        // Absent stays absent: the code under test takes its fallback.
        if (s_previous.GetSecurityInfo) g_os.GetSecurityInfo = &HookGetSecurityInfo;
    }
    ~ResourceCounter() {
        g_os.CreateFileA = s_previous.CreateFileA;
        g_os.CloseHandle = s_previous.CloseHandle;
        g_os.OpenThreadToken = s_previous.OpenThreadToken;
        g_os.OpenProcessToken = s_previous.OpenProcessToken;
        g_os.LocalAlloc = s_previous.LocalAlloc;
        g_os.LocalFree = s_previous.LocalFree;
        g_os.AllocateAndInitializeSid = s_previous.AllocateAndInitializeSid;
        g_os.FreeSid = s_previous.FreeSid;
        g_os.FindFirstFileA = s_previous.FindFirstFileA;
        g_os.FindClose = s_previous.FindClose;
        g_os.RegOpenKeyExA = s_previous.RegOpenKeyExA;
        g_os.RegCloseKey = s_previous.RegCloseKey;
        g_os.LoadLibraryExA = s_previous.LoadLibraryExA;
        g_os.FreeLibrary = s_previous.FreeLibrary;
        g_os.GetSecurityInfo = s_previous.GetSecurityInfo;
    }
    ResourceCounter(const ResourceCounter&) = delete;
    ResourceCounter& operator=(const ResourceCounter&) = delete;

    // Held now, of one kind or of all kinds.
    int Outstanding(Kind kind) const {
        int n = 0;
        for (const auto& entry : s_live) n += entry.second == kind;
        return n;
    }
    int Outstanding() const { return static_cast<int>(s_live.size()); }
    // Acquired successfully since construction.
    int Acquired(Kind kind) const { return s_acquired[kind]; }
    int Acquired() const {
        int n = 0;
        for (int a : s_acquired) n += a;
        return n;
    }
    // Releases of anything not held at the time.
    int StrayReleases() const { return s_stray; }

    // One line for assertion messages.
    std::string Report() const {
        static const char* const kNames[kKindCount] = {"files", "tokens", "heap blocks", "SIDs",
                                                       "find handles", "registry keys",
                                                       "libraries"};
        std::string text = "held:";
        for (int k = 0; k < kKindCount; ++k) {
            text += std::string(" ") + kNames[k] + "=" +
                    std::to_string(Outstanding(static_cast<Kind>(k))) + "/" +
                    std::to_string(s_acquired[k]);
        }
        return text + " stray=" + std::to_string(s_stray);
    }

private:
    // Files and tokens share one space because CloseHandle releases both.
    enum Space { kKernelSpace, kHeapSpace, kSidSpace, kFindSpace, kRegSpace, kLibrarySpace };
    using Key = std::pair<Space, uintptr_t>;

    static Key KeyOf(Space space, const void* h) { return {space, reinterpret_cast<uintptr_t>(h)}; }
    static void Acquire(const Key& key, Kind kind) {
        s_live[key] = kind;
        ++s_acquired[kind];
    }
    static void Release(const Key& key) {
        if (s_live.erase(key) == 0) ++s_stray;
    }

    static HANDLE WINAPI HookCreateFileA(LPCSTR name, DWORD access, DWORD share,
                                         LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                         DWORD flags, HANDLE templ) {
        HANDLE h = s_previous.CreateFileA(name, access, share, security, disposition, flags, templ);
        if (h != INVALID_HANDLE_VALUE && h != nullptr) Acquire(KeyOf(kKernelSpace, h), kFile);
        return h;
    }
    static BOOL WINAPI HookCloseHandle(HANDLE h) {
        Release(KeyOf(kKernelSpace, h));
        return s_previous.CloseHandle(h);
    }
    static BOOL WINAPI HookOpenThreadToken(HANDLE thread, DWORD access, BOOL asSelf,
                                           PHANDLE token) {
        const BOOL ok = s_previous.OpenThreadToken(thread, access, asSelf, token);
        if (ok && token && *token) Acquire(KeyOf(kKernelSpace, *token), kToken);
        return ok;
    }
    static BOOL WINAPI HookOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
        const BOOL ok = s_previous.OpenProcessToken(process, access, token);
        if (ok && token && *token) Acquire(KeyOf(kKernelSpace, *token), kToken);
        return ok;
    }
    static HLOCAL WINAPI HookLocalAlloc(UINT flags, SIZE_T bytes) {
        HLOCAL block = s_previous.LocalAlloc(flags, bytes);
        if (block) Acquire(KeyOf(kHeapSpace, block), kHeap);
        return block;
    }
    static HLOCAL WINAPI HookLocalFree(HLOCAL block) {
        // LocalFree(NULL) is a documented no-op, not a release.
        if (block) Release(KeyOf(kHeapSpace, block));
        return s_previous.LocalFree(block);
    }
    static BOOL WINAPI HookAllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority,
                                                    BYTE count, DWORD s0, DWORD s1, DWORD s2,
                                                    DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                                    DWORD s7, PSID* sid) {
        const BOOL ok = s_previous.AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4,
                                                            s5, s6, s7, sid);
        if (ok && sid && *sid) Acquire(KeyOf(kSidSpace, *sid), kSid);
        return ok;
    }
    static PVOID WINAPI HookFreeSid(PSID sid) {
        Release(KeyOf(kSidSpace, sid));
        return s_previous.FreeSid(sid);
    }
    static HANDLE WINAPI HookFindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
        HANDLE h = s_previous.FindFirstFileA(pattern, data);
        if (h != INVALID_HANDLE_VALUE && h != nullptr) Acquire(KeyOf(kFindSpace, h), kFind);
        return h;
    }
    static BOOL WINAPI HookFindClose(HANDLE h) {
        Release(KeyOf(kFindSpace, h));
        return s_previous.FindClose(h);
    }

    static LSTATUS WINAPI HookRegOpenKeyExA(HKEY parent, LPCSTR name, DWORD options,
                                            REGSAM access, PHKEY key) {
        const LSTATUS status = s_previous.RegOpenKeyExA(parent, name, options, access, key);
        if (status == ERROR_SUCCESS && key && *key) Acquire(KeyOf(kRegSpace, *key), kRegKey);
        return status;
    }
    static LSTATUS WINAPI HookRegCloseKey(HKEY key) {
        Release(KeyOf(kRegSpace, key));
        return s_previous.RegCloseKey(key);
    }

    static HMODULE WINAPI HookLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags) {
        const HMODULE module = s_previous.LoadLibraryExA(name, file, flags);
        if (module) Acquire(KeyOf(kLibrarySpace, module), kLibrary);
        return module;
    }
    static BOOL WINAPI HookFreeLibrary(HMODULE module) {
        Release(KeyOf(kLibrarySpace, module));
        return s_previous.FreeLibrary(module);
    }
    static DWORD WINAPI HookGetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type,
                                            SECURITY_INFORMATION what, PSID* owner, PSID* group,
                                            PACL* dacl, PACL* sacl,
                                            PSECURITY_DESCRIPTOR* descriptor) {
        const DWORD status = s_previous.GetSecurityInfo(handle, type, what, owner, group, dacl,
                                                        sacl, descriptor);
        if (status == ERROR_SUCCESS && descriptor && *descriptor) {
            Acquire(KeyOf(kHeapSpace, *descriptor), kHeap);
        }
        return status;
    }

    static inline OsCalls s_previous{};
    static inline std::map<Key, Kind> s_live;
    static inline int s_acquired[kKindCount] = {};
    static inline int s_stray = 0;
};
