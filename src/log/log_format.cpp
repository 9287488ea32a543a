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

// One conversion as the format gives it: "%04x" is zeros, width 4, type x.
struct Conversion {
    bool zeros = false;
    size_t width = 0;
    bool isLong = false;  // "%lu": a DWORD, the same 32 bits on Windows
    char type = 0;
};

// The conversion after a '%' at *at, which moves to its type letter.
Conversion ReadConversion(const char** at) {
    Conversion conversion;
    const char* c = *at;
    conversion.zeros = *c == '0';
    if (conversion.zeros) ++c;
    for (; *c >= '0' && *c <= '9'; ++c) conversion.width = conversion.width * 10 + static_cast<size_t>(*c - '0');
    conversion.isLong = *c == 'l' && c[1] == 'u';
    if (conversion.isLong) ++c;
    conversion.type = *c;
    *at = c;
    return conversion;
}

std::string SignedDigits(int value, const Conversion& conversion) {
    // Negated as unsigned, so that INT_MIN has a magnitude too.
    const unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    std::string field = Digits(magnitude, 10, "0123456789");
    if (value < 0) {
        const size_t width = conversion.width;
        if (conversion.zeros && width > field.size() + 1) field.insert(0, width - field.size() - 1, '0');
        field.insert(0, 1, '-');
    }
    return field;
}

// The text of conversion, its argument taken from args: false for a
// conversion this does not know. number: whether zeros may pad it.
bool FormatField(const Conversion& conversion, va_list* args, std::string* field, bool* number) {
    *number = true;
    switch (conversion.type) {
    case 'd':
    case 'i': *field = SignedDigits(va_arg(*args, int), conversion); return true;
    case 'u':
        *field = Digits(conversion.isLong ? static_cast<unsigned>(va_arg(*args, unsigned long))
                                          : va_arg(*args, unsigned),
                        10, "0123456789");
        return true;
    case 'x': *field = Digits(va_arg(*args, unsigned), 16, "0123456789abcdef"); return true;
    case 'X': *field = Digits(va_arg(*args, unsigned), 16, "0123456789ABCDEF"); return true;
    case 'c': field->assign(1, static_cast<char>(va_arg(*args, int))); break;
    case 's': {
        const char* text = va_arg(*args, const char*);
        *field = text != nullptr ? text : "(null)";
        break;
    }
    case '%': *field = "%"; break;
    default: return false;
    }
    *number = false;
    return true;
}

}  // namespace

std::string FormatLogLine(const char* format, va_list args) {
    // Its own copy, so that a pointer to it can be handed on whatever type
    // the platform's va_list is.
    va_list rest;
    va_copy(rest, args);
    std::string line;
    for (const char* at = format; *at != '\0'; ++at) {
        if (*at != '%') {
            line += *at;
            continue;
        }
        const char* const start = at++;
        const Conversion conversion = ReadConversion(&at);
        std::string field;
        bool number = true;
        if (!FormatField(conversion, &rest, &field, &number)) {
            line += start;
            break;
        }
        if (field.size() < conversion.width) line.append(conversion.width - field.size(), conversion.zeros && number ? '0' : ' ');
        line += field;
    }
    va_end(rest);
    return line;
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatLogLine(format, args);
    va_end(args);
    return text;
}
