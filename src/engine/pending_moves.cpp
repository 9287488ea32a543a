#include "engine/pending_moves.h"

#include <cstring>

namespace {

const char kNtPrefix[] = "\\??\\";

// The path a list entry names, without the "!" of a replacing target and
// without the NT prefix.
std::string PathOf(std::string entry) {
    if (!entry.empty() && entry[0] == '!') entry.erase(0, 1);
    if (entry.compare(0, std::strlen(kNtPrefix), kNtPrefix) == 0) {
        entry.erase(0, std::strlen(kNtPrefix));
    }
    return entry;
}

}  // namespace

bool PendingMovesHold(const std::string& list, const std::string& from, const std::string& to) {
    size_t at = 0;
    while (at < list.size()) {
        const size_t sourceEnd = list.find('\0', at);
        // A source is never empty: the list ends at the first empty name (or
        // at a name cut off by the end of the value).
        if (sourceEnd == std::string::npos || sourceEnd == at) return false;
        const size_t targetStart = sourceEnd + 1;
        size_t targetEnd = list.find('\0', targetStart);
        if (targetEnd == std::string::npos) targetEnd = list.size();
        // A target with no "!" is still a move onto to once to is gone, but
        // it fails while to exists, and the installed module always does.
        const std::string target = list.substr(targetStart, targetEnd - targetStart);
        if (!target.empty() && target[0] == '!' &&
            PathOf(list.substr(at, sourceEnd - at)) == from && PathOf(target) == to) {
            return true;
        }
        at = targetEnd + 1;
    }
    return false;
}
