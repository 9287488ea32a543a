#include "app/command_line.h"

#include "platform/ansi_text.h"

namespace {

bool EqualsFolded(const std::string& text, size_t from, size_t length, const char* name) {
    size_t i = 0;
    for (; name[i] != '\0'; ++i) {
        if (i >= length || UpperAscii(text[from + i]) != UpperAscii(name[i])) return false;
    }
    return i == length;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> arguments;
    size_t i = 0;
    const size_t size = text.size();
    for (;;) {
        while (i < size && IsBlank(text[i])) ++i;
        if (i >= size) break;
        std::string argument;
        bool quoted = false;
        while (i < size && (quoted || !IsBlank(text[i]))) {
            size_t backslashes = 0;
            while (i < size && text[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < size && text[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else if (quoted && i + 1 < size && text[i + 1] == '"') {
                    argument += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, '\\');
                if (i < size && (quoted || !IsBlank(text[i]))) argument += text[i++];
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

CommandLine ParseCommandLine(const std::string& text) {
    CommandLine result;
    bool usage = false;
    bool invalid = false;
    for (const std::string& argument : SplitCommandLine(text)) {
        if (argument.empty() || (argument[0] != '/' && argument[0] != '-')) {
            invalid = true;
            continue;
        }
        const size_t length = argument.size() - 1;
        if (EqualsFolded(argument, 1, length, "quiet") || EqualsFolded(argument, 1, length, "q")) {
            result.quiet = true;
        } else if (EqualsFolded(argument, 1, length, "log")) {
            result.log = true;
        } else if (length > 4 && EqualsFolded(argument, 1, 4, "log:")) {
            result.log = true;
            result.logPath = argument.substr(5);
        } else if (EqualsFolded(argument, 1, length, "undo")) {
            result.undo = true;
        } else if (EqualsFolded(argument, 1, length, "?") || EqualsFolded(argument, 1, length, "help")) {
            usage = true;
        } else {
            invalid = true;
        }
    }
    result.action = invalid ? QMX_CMD_INVALID : usage ? QMX_CMD_USAGE : QMX_CMD_INSTALL;
    return result;
}
