// CompVersion over arbitrary patterns: the answer must equal the plain reading
// of the pattern rules, and the trace must be exactly the lines those rules
// give, in order.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "changelist/change_list_file.h"
#include "fuzz_check.h"
#include "log/debug_log.h"
#include "reference_rules.h"

namespace {

std::string Line(const char* format, long long a, long long b) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string ExpectedTrace(const std::string& pattern, reference::Machine m, int result) {
    const int32_t platform = static_cast<int32_t>(m.platform);
    const int32_t major = static_cast<int32_t>(m.major);
    const int32_t minor = static_cast<int32_t>(m.minor);
    // The pattern is logged as a C string: a zero byte ends it.
    std::string trace = "CompVersion(" + std::to_string(platform) + ", " + std::to_string(major) +
                        ", " + std::to_string(minor) + ", " + pattern.c_str() + ")\r\n";
    std::string parts[3];
    if (!reference::PatternParts(pattern, parts)) return trace;
    if (!parts[2].empty()) {
        trace += Line("Comp Minor Version <%lld : %lld>\r\n", reference::Decimal(parts[2]), minor);
    }
    trace += Line("Comp PlatformID <%lld : %lld>\r\n", reference::Decimal(parts[0]), platform);
    trace += Line("Comp MajorVersion <%lld : %lld>\r\n", reference::Decimal(parts[1]), major);
    trace += "Comp Result = " + std::to_string(result) + "\r\n";
    return trace;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string pattern(reinterpret_cast<const char*>(data), size);

    std::vector<reference::Machine> machines = {{0, 0, 0}, {2, 5, 1}, {0xFFFFFFFFu, 0x80000000u, 7}};
    std::string parts[3];
    if (reference::PatternParts(pattern, parts)) {
        // The machine the pattern names, and one step off in each value.
        const reference::Machine named = {static_cast<uint32_t>(reference::Decimal(parts[0])),
                                          static_cast<uint32_t>(reference::Decimal(parts[1])),
                                          static_cast<uint32_t>(reference::Decimal(parts[2]))};
        machines.push_back(named);
        machines.push_back({named.platform + 1, named.major, named.minor});
        machines.push_back({named.platform, named.major - 1, named.minor});
        machines.push_back({named.platform, named.major, named.minor + 1});
    }

    SetLogSwitch(1);
    ChangeListFile list;
    for (const reference::Machine& m : machines) {
        NativeLogRecord().clear();
        const int result = list.CompVersion(m.platform, m.major, m.minor, pattern);
        FUZZ_CHECK(result == reference::PatternMatches(pattern, m));
        FUZZ_CHECK(NativeLogRecord() == ExpectedTrace(pattern, m, result));
    }
    return 0;
}
