// The switches of QMXSET.EXE. Deployment tools start it with a handful of
// switches, so a word it does not know must never start an interactive run;
// it makes the whole command line invalid instead.
//
// Free of Win32 so it builds natively for the unit tests and the fuzzer.
#pragma once

#include <string>
#include <vector>

enum : int {
    QMX_CMD_INSTALL = 0,  // run the installation
    QMX_CMD_USAGE = 1,    // /? or /help: show the usage, install nothing
    QMX_CMD_INVALID = 2,  // some argument is not a switch we know: install nothing
};

struct CommandLine {
    int action = QMX_CMD_INSTALL;
    bool quiet = false;     // /quiet or /q: no window of any kind
    bool log = false;       // /log or /log:PATH: the log on, whatever [Log] says
    bool undo = false;      // /undo: put back what this package replaced
    std::string logPath;    // PATH of the last /log:PATH; empty for the usual place
};

// The arguments of a command line as the C runtime splits it for argv: blanks
// (space, tab) separate arguments outside double quotes; a quote toggles
// quoting and is dropped; inside quotes "" is one literal quote; 2n
// backslashes before a quote give n backslashes and the quote acts, 2n+1 give
// n backslashes and a literal quote; other backslashes stay as they are, so
// "\\server\share\x.log" needs no doubling. text is the command line without
// the program's name (WinMain's lpCmdLine).
std::vector<std::string> SplitCommandLine(const std::string& text);

// Reads every argument. Switches start with '/' or '-' and their names are
// compared without regard to case: quiet, q, log, log:PATH (PATH not empty,
// kept as given), undo, ? and help. Any other argument, an empty one included, makes
// the action QMX_CMD_INVALID; that outranks /? and /help. quiet and log are
// reported whatever the action, so that an invalid quiet command line still
// shows nothing.
CommandLine ParseCommandLine(const std::string& text);
