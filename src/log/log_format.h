// printf-style formatting into a string of whatever length the line needs, so
// an arbitrarily long change-list entry is logged whole, never cut or overrun.
//
// Only the conversions the program's own formats use: %d (and %i), %u (and
// %lu, taken to 32 bits), %x,
// %X, %c, %s (a null pointer gives "(null)") and %%, a number optionally
// padded to a width with spaces or, after a '0' flag, with zeros ("%04x").
// Any other conversion ends the formatting there: the rest of the format is
// copied as it stands and no further argument is read, as its type is unknown.
#pragma once

#include <cstdarg>
#include <string>

#if defined(__MINGW32__)
#define QMX_PRINTF_FORMAT(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#else
#define QMX_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#endif

std::string FormatLogLine(const char* format, va_list args);

// The same formatting for text other than log lines.
std::string FormatText(const char* format, ...) QMX_PRINTF_FORMAT(1, 2);
