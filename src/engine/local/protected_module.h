// Whether Windows guards a module of its own: Windows File Protection on
// 2000, XP and Server 2003, Windows Resource Protection from Vista on. A
// protected module that an installer replaces is put back from the
// protection cache moments later (2000 to 2003), or cannot be replaced at
// all; either way the update would not hold.
#pragma once

#include <windows.h>

#include <string>

#include "platform/scoped_handle.h"

// Asks the system folder's sfc.dll, loaded at the first question and kept
// until Release or the end of this: a run asks once per newer module, and
// loading the library each time cost more than the rest of the question.
class ProtectionCheck {
public:
    // true when SfcIsFileProtected(NULL, path) answers yes; path is a
    // module's full path in the ANSI code page, asked as this process sees
    // it (a 32-bit process on 64-bit Windows asks about system32, which the
    // platform redirects to SysWOW64 for it). false where that DLL or that
    // function is missing (95/98/Me, NT 4.0), and when the path cannot be
    // converted to UTF-16: nothing counts as protected there.
    bool IsProtected(const std::string& path);
    // Frees the library; a later question loads it again.
    void Release();

private:
    using SfcIsFileProtectedFn = BOOL(WINAPI*)(HANDLE, LPCWSTR);

    ScopedLibrary m_library;
    SfcIsFileProtectedFn m_isProtected = nullptr;
    bool m_loaded = false;
};
