#include "log/log_format.h"

// Not the C library's vsnprintf: mingw's, which libstdc++ selects, brings its
// own stdio and float formatting, a fifth of the shipped program, for the few
// integer and string conversions the log needs.
namespace {

std::string Digits(unsigned value, unsigned base, const char* digits) {
    char text[16];
    char* start = text + sizeof text;
    do {
        *--start = digits[value % base];
        value /= base;
    } while (value != 0);
    return std::string(start, text + sizeof text);
}

}  // namespace

std::string FormatLogLine(const char* format, va_list args) {
    std::string line;
    for (const char* at = format; *at != '\0'; ++at) {
        if (*at != '%') {
            line += *at;
            continue;
        }
        const char* const conversion = at++;
        const bool zeros = *at == '0';
        if (zeros) ++at;
        size_t width = 0;
        for (; *at >= '0' && *at <= '9'; ++at) width = width * 10 + static_cast<size_t>(*at - '0');
        // A DWORD as "%lu": the same 32 bits on Windows.
        const bool isLong = *at == 'l' && at[1] == 'u';
        if (isLong) ++at;

        std::string field;
        bool number = true;
        switch (*at) {
        case 'd':
        case 'i': {
            const int value = va_arg(args, int);
            // Negated as unsigned, so that INT_MIN has a magnitude too.
            const unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value)
                                                 : static_cast<unsigned>(value);
            field = Digits(magnitude, 10, "0123456789");
            if (value < 0) {
                if (zeros && width > field.size() + 1) field.insert(0, width - field.size() - 1, '0');
                field.insert(0, 1, '-');
            }
            break;
        }
        case 'u':
            field = Digits(isLong ? static_cast<unsigned>(va_arg(args, unsigned long)) : va_arg(args, unsigned), 10,
                           "0123456789");
            break;
        case 'x': field = Digits(va_arg(args, unsigned), 16, "0123456789abcdef"); break;
        case 'X': field = Digits(va_arg(args, unsigned), 16, "0123456789ABCDEF"); break;
        case 'c':
            field.assign(1, static_cast<char>(va_arg(args, int)));
            number = false;
            break;
        case 's': {
            const char* text = va_arg(args, const char*);
            field = text != nullptr ? text : "(null)";
            number = false;
            break;
        }
        case '%':
            field = "%";
            number = false;
            break;
        default:
            line += conversion;
            return line;
        }
        if (field.size() < width) line.append(width - field.size(), zeros && number ? '0' : ' ');
        line += field;
    }
    return line;
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatLogLine(format, args);
    va_end(args);
    return text;
}
