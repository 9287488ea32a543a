// The diagnostic trace: one process-wide switch and an append-only log file.
//
// While g_logSwitch is exactly 1, every DebugLog call appends one formatted
// line to the log file, C:\QMX_CHG.LOG unless the command line named another
// (the caller's text carries its own CR LF). With any other value nothing is
// formatted or written. Every failure is silent: the
// line is lost and the caller never learns of it.
#pragma once

#include <string>

#include "log/log_format.h"

extern int g_logSwitch;

void SetLogSwitch(int value);

// The log file: C:\QMX_CHG.LOG until SetLogPath names another. Any path is
// written by the same rules: whole lines, appended, never through a link.
void SetLogPath(const std::string& path);
const std::string& LogPath();

void DebugLog(const char* format, ...) QMX_PRINTF_FORMAT(1, 2);

// Where the lines go: the file on Windows, an in-memory record in the native
// build of the pure logic. Called only while the switch is on.
void AppendLogLine(const std::string& line);

#if !defined(_WIN32)
// Native build only: everything appended so far, for the unit tests.
std::string& NativeLogRecord();
#endif
