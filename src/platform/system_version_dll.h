// The version-information functions, taken from the system folder's
// version.dll only.
//
// The installer runs as an administrator from a folder that anyone may have
// filled, so it must never run a VERSION.DLL that lies beside it. It does not
// import version.dll (the loader would search the program's folder first);
// it loads the system's copy by its full path at first use. A module of the
// same name already in the process is no answer either: a planted copy can
// be there, mapped by another system DLL's imports.
#pragma once

#include <windows.h>

DWORD WINAPI SystemGetFileVersionInfoSizeA(LPCSTR name, LPDWORD handle);
BOOL WINAPI SystemGetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD size, LPVOID data);
BOOL WINAPI SystemVerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length);

// Where the system offers it, limits every later DLL search of the process
// to the system folder. Called first thing at start-up.
void RestrictDllSearchToSystem();
