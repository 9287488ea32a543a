// Whether Windows guards a module of its own: Windows File Protection on
// 2000, XP and Server 2003, Windows Resource Protection from Vista on. A
// protected module that an installer replaces is put back from the
// protection cache moments later (2000 to 2003), or cannot be replaced at
// all; either way the update would not hold.
#pragma once

#include <string>

// true when the system folder's sfc.dll answers SfcIsFileProtected(NULL,
// path) with yes; path is a module's full path in the ANSI code page, asked
// as this process sees it (a 32-bit process on 64-bit Windows asks about
// system32, which the platform redirects to SysWOW64 for it). false where
// that DLL or that function is missing (95/98/Me, NT 4.0), and when the
// path cannot be converted to UTF-16: nothing counts as protected there.
bool IsProtectedByWindows(const std::string& path);
