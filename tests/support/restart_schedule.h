// The two places a run can schedule a replacement for the next restart: the
// PendingFileRenameOperations value of the Session Manager key and
// WININIT.INI in the Windows folder. Tests that may schedule one read both
// first and put them back at the end, so the prefix stays as it was.
#pragma once

#include <windows.h>

#include <string>

// The registry value as raw bytes; present is false when the key or the
// value cannot be read.
struct PendingRenames {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};

struct RestartSchedule {
    PendingRenames pendingRenames;
    bool wininitExists = false;
    std::string wininit;
};

std::string WininitPath();
PendingRenames ReadPendingRenames();
// Both places as they stand, after the profile cache is flushed to the file.
RestartSchedule ReadRestartSchedule();
// Puts back what schedule holds: the value with its own type, or no value
// when it was absent; the file's bytes, or no file when it was absent.
void RestoreRestartSchedule(const RestartSchedule& schedule);
