// Where the running program lives, read through the call table.
#pragma once

#include <string>

// The program's full path; "" when it cannot be read or does not fit
// MAX_PATH: a cut path names another file, and its folder another folder.
std::string ProgramPath();

// The folder of ProgramPath without a trailing separator: "C:\APP", or "C:"
// for a program in a drive's root; "" when ProgramPath is.
std::string ProgramFolder();
