#include "log/debug_log.h"

#include "log/log_format.h"

int g_logSwitch = 0;

void SetLogSwitch(int value) { g_logSwitch = value; }

namespace {
// Inside a function, so that it exists before any static object's
// constructor could log.
std::string& LogPathStore() {
    static std::string path = "C:\\QMX_CHG.LOG";
    return path;
}
}  // namespace

void SetLogPath(const std::string& path) { LogPathStore() = path; }

const std::string& LogPath() { return LogPathStore(); }

void DebugLog(const char* format, ...) {
    if (g_logSwitch != 1) return;
    va_list args;
    va_start(args, format);
    const std::string line = FormatLogLine(format, args);
    va_end(args);
    AppendLogLine(line);
}
