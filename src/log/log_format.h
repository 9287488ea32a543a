// printf-style formatting into a string of whatever length the line needs, so
// an arbitrarily long change-list entry is logged whole, never cut or overrun.
#pragma once

#include <cstdarg>
#include <string>

std::string FormatLogLine(const char* format, va_list args);
