// The command line over arbitrary bytes, two ways:
// - the input read as a command line: ParseCommandLine must agree with a
//   plain reading of the switch table over the same arguments;
// - the input cut at NUL bytes into arguments: quoted the way a caller quotes
//   for the C runtime and joined, they must split back into the same list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz_check.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The switch table as the usage message states it.
CommandLine PlainReading(const std::vector<std::string>& arguments) {
    CommandLine result;
    bool usage = false;
    bool invalid = false;
    for (const std::string& argument : arguments) {
        const std::string lower = Lower(argument);
        const std::string body = lower.size() > 1 ? lower.substr(1) : std::string();
        if (lower.empty() || (lower[0] != '/' && lower[0] != '-')) {
            invalid = true;
        } else if (body == "quiet" || body == "q") {
            result.quiet = true;
        } else if (body == "log") {
            result.log = true;
        } else if (body.compare(0, 4, "log:") == 0 && body.size() > 4) {
            result.log = true;
            result.logPath = argument.substr(5);
        } else if (body == "?" || body == "help") {
            usage = true;
        } else {
            invalid = true;
        }
    }
    result.action = invalid ? QMX_CMD_INVALID : usage ? QMX_CMD_USAGE : QMX_CMD_INSTALL;
    return result;
}

// One argument quoted so that the C runtime's rules give it back unchanged:
// backslashes are doubled only before a quote, including the closing one.
std::string Quote(const std::string& argument) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const CommandLine parsed = ParseCommandLine(text);
    const CommandLine expected = PlainReading(SplitCommandLine(text));
    FUZZ_CHECK(parsed.action == expected.action);
    FUZZ_CHECK(parsed.quiet == expected.quiet);
    FUZZ_CHECK(parsed.log == expected.log);
    FUZZ_CHECK(parsed.logPath == expected.logPath);

    std::vector<std::string> arguments(1);
    for (char c : text) {
        if (c == '\0') {
            arguments.emplace_back();
        } else {
            arguments.back() += c;
        }
    }
    std::string joined;
    for (const std::string& argument : arguments) {
        if (!joined.empty()) joined += ' ';
        joined += Quote(argument);
    }
    FUZZ_CHECK(SplitCommandLine(joined) == arguments);
    return 0;
}
