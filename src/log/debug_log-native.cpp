// Native stand-in for the log file: the pure logic's tests read back exactly
// the bytes that would have been appended.
#include "log/debug_log.h"

std::string& NativeLogRecord() {
    static std::string record;
    return record;
}

void AppendLogLine(const std::string& line) { NativeLogRecord() += line; }
