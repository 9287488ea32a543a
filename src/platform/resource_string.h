// Strings of a module's string table, as text in the ANSI code page.
#pragma once

#include <windows.h>

#include <string>

// module, or the program's own file when it is null: where the program's
// resources are.
HINSTANCE ResourceModule(HINSTANCE module);

// The text of string id in module's string table, converted to the ANSI code
// page by the system; empty when the table has no such string (or it is
// empty). Never truncated.
std::string LoadResourceString(HINSTANCE module, UINT id);
