#include "engine/site/machine.h"

int32_t ClassifyWindows(uint32_t platformId, uint32_t majorVersion, uint32_t minorVersion) {
    const uint32_t kWindows = 1;  // VER_PLATFORM_WIN32_WINDOWS
    const uint32_t kNt = 2;       // VER_PLATFORM_WIN32_NT
    if (platformId == kWindows) return QMX_OS_WIN9X;
    if (platformId != kNt) return QMX_OS_NONE;
    if (majorVersion >= 5) return QMX_OS_NT5_OR_LATER;
    if (majorVersion == 4) return QMX_OS_NT4;
    if (majorVersion == 3 && minorVersion >= 51) return QMX_OS_NT351;
    return QMX_OS_NONE;
}
