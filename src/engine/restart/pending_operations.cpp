#include "engine/restart/pending_operations.h"

#include "platform/ansi_text.h"

#include <cstring>

namespace {

// Skips the prefixes of an entry; says whether a "!" was among them.
const char* PathStart(const char* entry, const char* end, bool* replaces) {
    for (;;) {
        if (entry < end && *entry == '!') {
            *replaces = true;
            ++entry;
        } else if (end - entry >= 2 && entry[0] == '*' && entry[1] >= '0' && entry[1] <= '9') {
            entry += 2;
        } else {
            break;
        }
    }
    return end - entry >= 4 && std::memcmp(entry, "\\??\\", 4) == 0 ? entry + 4 : entry;
}

// Whether the entry names one of the forms, in any case.
bool Names(const std::string (&forms)[4], const char* entry, size_t length) {
    bool replaces = false;
    const char* end = entry + length;
    entry = PathStart(entry, end, &replaces);
    const size_t size = static_cast<size_t>(end - entry);
    for (const std::string& form : forms) {
        if (size > 0 && EqualsIgnoringAsciiCase(entry, size, form)) return true;
    }
    return false;
}

const char* SkipBlanks(const char* at, const char* end) {
    while (at < end && (*at == ' ' || *at == '\t')) ++at;
    return at;
}

const char* TrimEnd(const char* begin, const char* end) {
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
    return end;
}

}  // namespace

void PendingCheck::Add(const char* source, size_t sourceLength, const char* target, size_t targetLength,
                       bool replaces) {
    const bool ontoModule = Names(m_names.module, target, targetLength);
    if (m_kind == PendingKind::kForeign || (!ontoModule && !Names(m_names.module, source, sourceLength))) {
        return;
    }
    m_kind = ontoModule && replaces && Names(m_names.staged, source, sourceLength) ? PendingKind::kOurs
                                                                                   : PendingKind::kForeign;
}

void PendingCheck::AddMoveList(const std::string& bytes) {
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (at < end) {
        const char* source = at;
        const char* sourceEnd = static_cast<const char*>(std::memchr(source, '\0', end - source));
        if (!sourceEnd) sourceEnd = end;
        // The closing empty name of the value.
        if (sourceEnd == source && sourceEnd + 1 >= end) break;
        const char* target = sourceEnd < end ? sourceEnd + 1 : end;
        const char* targetEnd = static_cast<const char*>(std::memchr(target, '\0', end - target));
        if (!targetEnd) targetEnd = end;
        bool replaces = false;
        PathStart(target, targetEnd, &replaces);
        Add(source, sourceEnd - source, target, targetEnd - target, replaces);
        at = targetEnd + 1;
    }
}

void PendingCheck::AddRenameLine(const char* line, size_t length) {
    const char* begin = line;
    const char* const end = begin + length;
    const char* equals = static_cast<const char*>(std::memchr(begin, '=', length));
    if (!equals) return;
    begin = SkipBlanks(begin, equals);
    const char* value = SkipBlanks(equals + 1, end);
    Add(value, TrimEnd(value, end) - value, begin, TrimEnd(begin, equals) - begin, true);
}

void MachinePending::AddTo(PendingCheck* check) const {
    // Windows carries out the second list too, after the first.
    for (const std::string& list : moves) check->AddMoveList(list);
    const char* at = renameLines.data();
    const char* const end = at + renameLines.size();
    while (at < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(at, '\0', end - at));
        if (!lineEnd) lineEnd = end;
        check->AddRenameLine(at, lineEnd - at);
        at = lineEnd + 1;
    }
}

bool MachinePending::MayUseShortNames() const {
    // A '~' that is a double-byte character's second byte only costs the
    // lookups.
    for (const std::string& list : moves) {
        if (list.find('~') != std::string::npos) return true;
    }
    return renameLines.find('~') != std::string::npos;
}
