#include "app/single_instance.h"

namespace {

const uint32_t kPlatformNt = 2;  // VER_PLATFORM_WIN32_NT
const uint32_t kFirstWithSessions = 5;

}  // namespace

std::string SingleInstanceMutexName(uint32_t platformId, uint32_t majorVersion,
                                    const std::string& instanceName) {
    if (platformId == kPlatformNt && majorVersion >= kFirstWithSessions) return "Global\\" + instanceName;
    return instanceName;
}
