#include "check/decision_reason.h"

#include <cstdio>

namespace {

std::string Quoted(const ModuleProbe& probe) {
    return probe.version.hasText ? "\"" + probe.version.text + "\"" : "no FileVersion";
}

// FILETIME ticks as a UTC date and time, to the second.
std::string TimeText(uint64_t ticks) {
    const int64_t seconds = static_cast<int64_t>(ticks / 10000000ull) - 11644473600ll;
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC",
                  static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return text;
}

}  // namespace

ModuleFacts FactsOf(const ModuleProbe& probe) {
    ModuleFacts facts;
    facts.path = probe.path;
    facts.exists = probe.opened;
    facts.versionRead = probe.version.hasText ? 1 : 0;
    facts.version = probe.version.text;
    facts.lastWrite = probe.lastWrite;
    return facts;
}

std::string ComparisonReason(const ModuleProbe& shipped, const ModuleProbe& installed, int32_t order) {
    const std::string versions = "package " + Quoted(shipped) + ", system " + Quoted(installed);
    const bool textsDecide = shipped.version.hasText && installed.version.hasText &&
                             order != QMX_COMP_SAME;
    if (textsDecide) {
        // Texts that only differ in case, or in what follows three numbers,
        // leave it to the times: say which.
        const ModuleFacts a = FactsOf(shipped), b = FactsOf(installed);
        ModuleFacts sameTimes[2] = {a, b};
        sameTimes[0].lastWrite = sameTimes[1].lastWrite = 0;
        if (CompareModules(sameTimes[0], sameTimes[1]) != QMX_COMP_SAME) return versions;
    }
    return versions + "; package written " + TimeText(shipped.lastWrite) + ", system " +
           TimeText(installed.lastWrite);
}
