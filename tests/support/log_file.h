// The program's debug log, C:\QMX_CHG.LOG, as the tests set it up and read
// it back. These bypass the OS call table, so a fault a test injects into
// the log's own calls never touches them.
#pragma once

#include <string>

extern const char kLogPath[];

// Removes the log, read-only or not; nothing happens when there is none.
void ClearLog();
// The whole log, or "" when there is none.
std::string LogText();
