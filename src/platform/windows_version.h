// The Windows version as GetVersionExA reports it, read in one place: the
// log, the single-instance guard and the machine probe decide by the same
// reading of the same record.
#pragma once

#include <windows.h>

// The basic version record through the call table: true, or false with the
// record all zero but its size when the call fails.
bool ReportedVersion(OSVERSIONINFOA* info);
