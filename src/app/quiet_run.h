// The whole installation with no window at all (/quiet): even a minimised
// dialog has a task-bar button.
#pragma once

#include <windows.h>

// The run on this machine, the log on when logForced is 1 and otherwise as
// the change list's [Log] says; its message is logged, not shown; with undo,
// the kept copies are put back instead (/undo). Returns the exit code
// (QuietExitCode).
int RunQuietly(int logForced, HINSTANCE resources, bool undo = false);
