// Strings of a module's string table, as text in the ANSI code page.
#pragma once

#include <windows.h>

#include <string>

// The text of string id in module's string table, converted to the ANSI code
// page by the system; empty when the table has no such string (or it is
// empty). Never truncated.
std::string LoadResourceString(HINSTANCE module, UINT id);
