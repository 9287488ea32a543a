#include "log/log_format.h"

#include <cstdio>

std::string FormatLogLine(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return std::string();

    std::string line(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&line[0], line.size(), format, args);
    line.resize(static_cast<size_t>(length));
    return line;
}
