// The name of the mutex that tells a second start of the installer from the
// first. Free of Win32.
#pragma once

#include <cstdint>
#include <string>

// The mutex name for instanceName on a Windows whose GetVersionExA reports
// platformId and majorVersion. On NT 5.0 and later, "Global\" and the
// instance name: one installer per machine, whichever session starts it (a
// start-up script as SYSTEM in session 0, a user in session 1). Elsewhere the
// instance name alone: 95/98/Me have one namespace, and NT 4.0 refuses a
// backslash in the name. An unknown platform (0) counts as an old one.
std::string SingleInstanceMutexName(uint32_t platformId, uint32_t majorVersion,
                                    const std::string& instanceName);
