// RAII ownership of the Win32 resources the engine acquires, so that every
// path, failures included, releases exactly what it took. Release goes through
// the OS call table, which lets tests count acquisitions against releases.
#pragma once

#include "platform/os_calls.h"

template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    ScopedHandle() : m_h(Traits::Invalid()) {}
    explicit ScopedHandle(Handle h) : m_h(h) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool IsValid() const { return Traits::IsValid(m_h); }
    Handle Get() const { return m_h; }
    // For out-parameters: releases any held resource first.
    Handle* Receive() { Reset(); return &m_h; }
    void Reset(Handle h = Traits::Invalid()) {
        if (Traits::IsValid(m_h)) Traits::Close(m_h);
        m_h = h;
    }
    // The handle, now the caller's to close.
    Handle Release() {
        const Handle h = m_h;
        m_h = Traits::Invalid();
        return h;
    }

private:
    Handle m_h;
};

// CreateFileA reports failure as INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Handle h) { g_os.CloseHandle(h); }
};

// Token handles are NULL when absent.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { g_os.CloseHandle(h); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Handle h) { g_os.FindClose(h); }
};

struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { g_os.LocalFree(h); }
};

struct SidTraits {
    using Handle = PSID;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { g_os.FreeSid(h); }
};

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { g_os.RegCloseKey(h); }
};

// Libraries loaded at run time, by LoadLibraryExA.
struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { g_os.FreeLibrary(h); }
};

using ScopedFile = ScopedHandle<FileHandleTraits>;
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedFind = ScopedHandle<FindHandleTraits>;
using ScopedLocal = ScopedHandle<LocalMemoryTraits>;
using ScopedSid = ScopedHandle<SidTraits>;
using ScopedRegKey = ScopedHandle<RegKeyTraits>;
using ScopedLibrary = ScopedHandle<LibraryTraits>;
