// Libraries of the system folder, loaded by their full path.
//
// Never by bare name: the loader would look in the program's folder first,
// which anyone may have filled, and the installer runs as an administrator.
// The altered search path takes the library's own imports from the system
// folder too.
#pragma once

#include <windows.h>

#include "platform/os_calls.h"

// The system folder's fileName ("sfc.dll"), loaded through the table os
// (the call table; the real functions for a library that backs the table's
// own defaults); nullptr when the folder cannot be read or the library
// cannot be loaded. The caller frees it (ScopedLibrary), or keeps it.
HMODULE LoadSystemLibrary(const char* fileName, const OsCalls& os = g_os);

// The function name of module as the type Fn, or null where module lacks it.
// The cast through void* is the documented way to call what GetProcAddress
// returns.
template <typename Fn>
Fn FindFunction(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(g_os.GetProcAddress(module, name)));
}
