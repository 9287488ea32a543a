#include "support/log_file.h"

#include <windows.h>

#include "support/temp_dir.h"

const char kLogPath[] = "C:\\QMX_CHG.LOG";

void ClearLog() {
    ::SetFileAttributesA(kLogPath, FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(kLogPath);
}

std::string LogText() {
    std::string text;
    ReadWholeFile(kLogPath, &text);
    return text;
}
