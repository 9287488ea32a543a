// Whether the change list targets the running Windows version: the first
// [Install] entry, a comma-separated list of "platform:major[:minor]"
// patterns, each compared for equality and traced to the diagnostic log.
#include "changelist/change_list_file.h"

#include <limits>

#include "changelist/decimal_text.h"
#include "log/debug_log.h"

namespace {

// The machine's values are traced and compared as the signed 32-bit numbers
// the patterns hold.
int32_t AsSigned(uint32_t value) { return static_cast<int32_t>(value); }

}  // namespace

int ChangeListFile::InstallPatterns(std::vector<std::string>& patterns, std::string fileName) {
    GetChangeListPath(fileName);
    if (!Load()) return 0;
    std::string entry;
    if (FindEntry(entry, "Install") != 1) return 0;

    // A zero byte ends a pattern as a comma does; an empty piece between two
    // separators is a pattern too, one that matches nothing real.
    std::string pattern;
    for (const char byte : entry) {
        if (byte == ',' || byte == '\0') {
            patterns.push_back(Trim(pattern));
            pattern.clear();
        } else {
            pattern += byte;
        }
    }
    if (!pattern.empty()) patterns.push_back(Trim(pattern));
    return 1;
}

int ChangeListFile::CheckInstallVersion(uint32_t platformId, uint32_t majorVersion,
                                        uint32_t minorVersion, std::string fileName) {
    std::vector<std::string> patterns;
    if (!InstallPatterns(patterns, fileName)) return 0;
    for (const std::string& pattern : patterns) {
        if (CompVersion(platformId, majorVersion, minorVersion, pattern) == 1) return 1;
    }
    return 0;
}

int ChangeListFile::CompVersion(uint32_t platformId, uint32_t majorVersion, uint32_t minorVersion,
                                std::string pattern) {
    DebugLog("CompVersion(%d, %d, %d, %s)\r\n", AsSigned(platformId), AsSigned(majorVersion),
             AsSigned(minorVersion), pattern.c_str());

    std::string parts[3];
    size_t part = 0;
    for (const char byte : pattern) {
        if (byte == ':') {
            if (part < 3) ++part;
        } else if (part < 3) {
            parts[part] += byte;
        } else {
            return 0;  // something after the third colon
        }
    }
    const std::string platformPart = Trim(parts[0]);
    const std::string majorPart = Trim(parts[1]);
    const std::string minorPart = Trim(parts[2]);
    const int32_t patternPlatform = ReadDecimal(platformPart);
    const int32_t patternMajor = ReadDecimal(majorPart);

    bool minorEqual = true;
    if (!minorPart.empty()) {
        const int32_t patternMinor = ReadDecimal(minorPart);
        DebugLog("Comp Minor Version <%d : %d>\r\n", patternMinor, AsSigned(minorVersion));
        minorEqual = patternMinor == AsSigned(minorVersion);
    }
    DebugLog("Comp PlatformID <%d : %d>\r\n", patternPlatform, AsSigned(platformId));
    DebugLog("Comp MajorVersion <%d : %d>\r\n", patternMajor, AsSigned(majorVersion));

    const bool equal = patternPlatform == AsSigned(platformId) &&
                       patternMajor == AsSigned(majorVersion) && minorEqual;
    const int result = equal ? 1 : 0;
    DebugLog("Comp Result = %d\r\n", result);
    return result;
}
