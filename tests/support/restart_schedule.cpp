#include "support/restart_schedule.h"

#include "support/temp_dir.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";

void RestorePendingRenames(const PendingRenames& value) {
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != 0) return;
    if (value.present) {
        ::RegSetValueExA(key, kPendingRenames, 0, value.type,
                         reinterpret_cast<const BYTE*>(value.bytes.data()),
                         static_cast<DWORD>(value.bytes.size()));
    } else {
        ::RegDeleteValueA(key, kPendingRenames);
    }
    ::RegCloseKey(key);
}

// Writes what the profile functions still cache, so the file holds it.
void FlushProfileCache() {
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, WininitPath().c_str());
}

}  // namespace

std::string WininitPath() {
    char dir[MAX_PATH + 1] = {};
    ::GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\WININIT.INI";
}

PendingRenames ReadPendingRenames() {
    PendingRenames value;
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0) {
        return value;
    }
    DWORD size = 0;
    if (::RegQueryValueExA(key, kPendingRenames, nullptr, &value.type, nullptr, &size) == 0) {
        value.bytes.resize(size);
        if (::RegQueryValueExA(key, kPendingRenames, nullptr, &value.type,
                               reinterpret_cast<BYTE*>(&value.bytes[0]), &size) == 0) {
            value.present = true;
            value.bytes.resize(size);
        }
    }
    ::RegCloseKey(key);
    return value;
}

RestartSchedule ReadRestartSchedule() {
    RestartSchedule schedule;
    schedule.pendingRenames = ReadPendingRenames();
    FlushProfileCache();
    schedule.wininitExists = ReadWholeFile(WininitPath(), &schedule.wininit);
    return schedule;
}

void RestoreRestartSchedule(const RestartSchedule& schedule) {
    RestorePendingRenames(schedule.pendingRenames);
    // Flushed first, or a cached entry would be written over the old bytes.
    FlushProfileCache();
    if (schedule.wininitExists) {
        WriteWholeFile(WininitPath(), schedule.wininit);
    } else {
        ::DeleteFileA(WininitPath().c_str());
    }
}
