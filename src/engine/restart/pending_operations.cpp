#include "engine/restart/pending_operations.h"

#include <cstring>

#include "platform/ansi_text.h"

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

// One NUL-ended item of a list.
struct Item {
    const char* text;
    size_t length;
};

// The item at *at, taken to end when its NUL is missing; *at moves past its
// NUL. At or past end, an empty item, and *at stays.
Item TakeItem(const char** at, const char* end) {
    if (*at >= end) return Item{end, 0};
    const char* begin = *at;
    const char* itemEnd = static_cast<const char*>(std::memchr(begin, '\0', end - begin));
    if (!itemEnd) itemEnd = end;
    *at = itemEnd + 1;
    return Item{begin, static_cast<size_t>(itemEnd - begin)};
}

}  // namespace

bool PendingForms::NamedBy(const char* entry, size_t length) const {
    bool replaces = false;
    const char* end = entry + length;
    entry = PathStart(entry, end, &replaces);
    const size_t size = static_cast<size_t>(end - entry);
    if (size == 0) return false;
    for (const std::string* form : {&seen, &seenShort, &real, &realShort}) {
        if (EqualsIgnoringAsciiCase(entry, size, *form)) return true;
    }
    return false;
}

void PendingCheck::Add(const char* source, size_t sourceLength, const char* target, size_t targetLength,
                       bool replaces) {
    const bool ontoModule = m_names.module.NamedBy(target, targetLength);
    if (m_kind == PendingKind::kForeign || (!ontoModule && !m_names.module.NamedBy(source, sourceLength))) {
        return;
    }
    m_kind = ontoModule && replaces && m_names.staged.NamedBy(source, sourceLength) ? PendingKind::kOurs
                                                                                    : PendingKind::kForeign;
}

void PendingCheck::AddMoveList(const std::string& bytes) {
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    while (at < end) {
        const Item source = TakeItem(&at, end);
        // The closing empty name of the value.
        if (source.length == 0 && at >= end) break;
        const Item target = TakeItem(&at, end);
        bool replaces = false;
        PathStart(target.text, target.text + target.length, &replaces);
        Add(source.text, source.length, target.text, target.length, replaces);
    }
}

void PendingCheck::AddRenameLine(const char* line, size_t length) {
    const char* const end = line + length;
    const char* equals = static_cast<const char*>(std::memchr(line, '=', length));
    if (!equals) return;
    const char* key = SkipBlanks(line, equals);
    const char* value = SkipBlanks(equals + 1, end);
    Add(value, TrimBlanksBefore(value, end) - value, key, TrimBlanksBefore(key, equals) - key, true);
}

void MachinePending::AddTo(PendingCheck* check) const {
    // Windows carries out the second list too, after the first.
    for (const std::string& list : moves) check->AddMoveList(list);
    const char* at = renameLines.data();
    const char* const end = at + renameLines.size();
    while (at < end) {
        const Item line = TakeItem(&at, end);
        check->AddRenameLine(line.text, line.length);
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
