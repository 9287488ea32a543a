// Who holds a module that has to wait for the restart, as Restart Manager
// (Vista and later) tells it: for the log only, nothing is done to them.
#pragma once

#include <string>

// Logs "CopyTargetFile - In use by %s (%lu)." with the application name and
// process id of each process holding path, the first eight of them. Where
// rstrtmgr.dll or one of its calls is missing or fails, logs nothing.
void LogModuleHolders(const std::string& path);
