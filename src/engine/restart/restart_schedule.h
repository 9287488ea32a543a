// Scheduling a staged copy to replace its module at the next restart: the
// NT family's delayed move, or on 95/98/Me an entry in WININIT.INI's [Rename]
// section, named as each restart reads its names.
#pragma once

#include <string>

#include "engine/site/machine.h"

// The delayed move of staging onto dest, both named in the folder that
// really holds them (RealSystemPath): 1, or 0 after logging why not.
int ScheduleDelayedMove(const Machine& machine, const std::string& staging, const std::string& dest);
// The [Rename] entry "dest's short name=staging's short name": 1, or 0 after
// logging why not.
int ScheduleRenameEntry(const std::string& staging, const std::string& dest);
// The short form of path, or "" on any failure: how every restart-time entry
// names a file by its short name, written or read.
std::string ShortPathOf(const std::string& path);
