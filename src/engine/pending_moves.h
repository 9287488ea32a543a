// Reading the NT family's restart-time move list. Free of Win32.
#pragma once

#include <string>

// Whether the list (the bytes of PendingFileRenameOperations: NUL-terminated
// names in pairs, source then target, as the delayed move writes them, with
// "\??\" before each path and "!" before a target it may replace) already
// moves from onto to. Paths are compared byte for byte: a pair written by an
// earlier run of the same installer carries exactly the same text, and a
// missed match costs only a harmless duplicate, where a loose one would drop
// the update.
bool PendingMovesHold(const std::string& list, const std::string& from, const std::string& to);
