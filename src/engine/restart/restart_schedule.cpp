#include "engine/restart/restart_schedule.h"

#include <windows.h>

#include <cstring>

#include "engine/restart/pending_operations.h"
#include "log/debug_log.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

// Logs a failed step with the error it left (taken by the caller at the
// failing line) and the two paths it worked on; answers 0, "not done".
int LogFailedStep(const char* format, DWORD error, const std::string& from, const std::string& to) {
    DebugLog(format, static_cast<int>(error), from.c_str(), to.c_str());
    return 0;
}

}  // namespace

int ScheduleDelayedMove(const Machine& machine, const std::string& stagingPath, const std::string& destPath) {
    // Named in the folder that really holds them: the restart's 64-bit
    // Session Manager does not see system32 as the 32-bit program does, and
    // Windows has recorded a 32-bit program's names without mapping them.
    const std::string staging = RealSystemPath(machine, stagingPath);
    const std::string dest = RealSystemPath(machine, destPath);
    if (g_os.MoveFileExA(staging.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) ==
        1) {
        return 1;
    }
    return LogFailedStep("MoveOnReboot - MoveFileEx is failed.(%d) %s -> %s\r\n", g_os.GetLastError(),
                         stagingPath, destPath);
}

int ScheduleRenameEntry(const std::string& stagingPath, const std::string& destPath) {
    uint32_t error = 0;
    const std::string profilePath = RenameListPath(&error);
    if (profilePath.empty()) {
        DebugLog("MoveOnReboot - GetWindowsDirectory is failed.(%d) %s\r\n", static_cast<int>(error),
                 stagingPath.c_str());
        return 0;
    }

    // The key must be the installed module's own short name. Deriving it from
    // the staged copy's short name names another module whenever the two
    // short names do not share their stem (LONGMO~2.DLL staged as
    // LONGMO~1.DLM), and at the next start that module would be overwritten.
    const std::string shortStaging = ShortPathOf(stagingPath);
    if (shortStaging.empty()) {
        DebugLog("MoveOnReboot - GetShortPathNameCS is failed. %s\r\n", stagingPath.c_str());
        return 0;
    }
    const std::string key = ShortPathOf(destPath);
    if (key.empty()) {
        DebugLog("MoveOnReboot - GetShortPathNameCS is failed. %s\r\n", destPath.c_str());
        return 0;
    }
    // An entry naming one file twice deletes it at the next start.
    if (key == shortStaging) {
        DebugLog("MoveOnReboot - Cannot stage %s.\r\n", shortStaging.c_str());
        return 0;
    }

    if (g_os.WritePrivateProfileStringA("Rename", key.c_str(), shortStaging.c_str(), profilePath.c_str()) == 1) {
        return 1;
    }
    return LogFailedStep("MoveOnReboot - WritePrivateProfileString is failed.(%d) %s -> %s\r\n",
                         g_os.GetLastError(), key, shortStaging);
}

std::string ShortPathOf(const std::string& path) {
    // Asked for the size it needs first: a short name can be longer than the
    // long one ("MY MOD.DLL" is "MYMOD~1.DLL"), so the long path's length
    // would be too small a buffer.
    const DWORD needed = g_os.GetShortPathNameA(path.c_str(), nullptr, 0);
    if (needed == 0) return std::string();
    ScopedLocal buffer(g_os.LocalAlloc(LMEM_FIXED, needed));
    if (!buffer.IsValid()) return std::string();
    char* text = static_cast<char*>(buffer.Get());
    text[0] = '\0';
    // A size returned that is not below the buffer's means the name grew
    // meanwhile: nothing usable was written.
    const DWORD length = g_os.GetShortPathNameA(path.c_str(), text, needed);
    if (length == 0 || length >= needed) return std::string();
    return std::string(text, ::strnlen(text, length));
}
