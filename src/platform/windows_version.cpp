#include "platform/windows_version.h"

#include "platform/os_calls.h"

// 95 and NT 4.0 refuse the extended record's size.
static_assert(sizeof(OSVERSIONINFOA) == 148, "the basic version record, not the extended one");

bool ReportedVersion(OSVERSIONINFOA* info) {
    *info = OSVERSIONINFOA{};
    info->dwOSVersionInfoSize = sizeof *info;
    if (g_os.GetVersionExA(info)) return true;
    *info = OSVERSIONINFOA{};
    info->dwOSVersionInfoSize = sizeof *info;
    return false;
}
