// The operations Windows carries out at the next restart, as the NT family's
// move lists and WININIT.INI's [Rename] section hold them, and what they mean
// for one module. Free of Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/site/machine.h"
#include "engine/site/module_site.h"

// Every form a file may be listed by: long and short, in the folder the
// program sees and in the one that really holds it. Unused forms stay empty;
// case never matters.
struct PendingForms {
    std::string seen;
    std::string seenShort;
    std::string real;
    std::string realShort;

    // Whether the entry, its prefixes skipped, names one of the forms.
    bool NamedBy(const char* entry, size_t length) const;
};

// The forms of an installed module and of its staged copy.
struct PendingNames {
    PendingForms module;
    PendingForms staged;
};

// What the operations added so far hold for one module. Another operation
// naming the module as source or target wins over our own pair: it acts at
// the same restart.
class PendingCheck {
public:
    explicit PendingCheck(const PendingNames& names) : m_names(names) {}

    // One operation: source moves onto target, replacing it if replaces, or
    // is deleted when target is empty. Names as listed, prefixes and all:
    // "*1" or "*2" (Windows 11), "!" (a target that may be replaced) and
    // "\??\" are skipped.
    void Add(const char* source, size_t sourceLength, const char* target, size_t targetLength,
             bool replaces);
    // The pairs of a PendingFileRenameOperations(2) value: NUL-ended names,
    // source then target, an empty target for a delete, "!" before a target
    // that may be replaced. Taken to the end of the bytes, empty names
    // included: a lone last name is a delete whose target was cut off.
    void AddMoveList(const std::string& bytes);
    // One "key=value" line of WININIT.INI's [Rename] section: the key is the
    // file replaced ("NUL" to delete), the value the file replacing it.
    void AddRenameLine(const char* line, size_t length);

    PendingKind Kind() const { return m_kind; }

private:
    const PendingNames& m_names;
    PendingKind m_kind = PendingKind::kNone;
};

// This machine's restart-time operations as read: the NT family's two move
// lists, or WININIT.INI's [Rename] lines, each NUL-ended.
struct MachinePending {
    std::string moves[2];
    std::string renameLines;

    void AddTo(PendingCheck* check) const;
    // Whether an entry may name a file by a short name that differs from its
    // long one. Windows makes every such name with a '~' (LONGMO~1.DLL), so
    // without one the module's short forms, each a search of its folder to
    // find, need not be looked up.
    bool MayUseShortNames() const;
};

// Windows only (pending_operations-win32.cpp).
//
// Reads this machine's pending operations: both move lists of the NT
// family, or on 95/98/Me WININIT.INI's [Rename] lines; what cannot be read
// stays empty.
MachinePending ReadMachinePending(const Machine& machine);
// The forms of the installed module dest in machine's system folder and of
// its staged copy, their short forms only when pending may hold one.
PendingNames PendingNamesOf(const Machine& machine, const MachinePending& pending, const std::string& dest);
// path, in machine's system folder as the program sees it, named in the
// folder that really holds it (Machine::realSystemDir): the 32-bit program on
// 64-bit Windows sees SysWOW64 as system32, and the restart's 64-bit Session
// Manager does not. Any other path, or any other Windows, is itself.
std::string RealSystemPath(const Machine& machine, const std::string& path);
// The folder that really holds systemDir when it is this machine's system
// folder as the program sees it and Windows redirects it (SysWOW64 for a
// 32-bit program on 64-bit Windows); else "".
std::string RedirectedSystemFolder(const std::string& systemDir);
// Whether folder is this machine's system folder, as the program sees it.
bool IsSystemFolder(const std::string& folder);
// WININIT.INI in the Windows folder, the restart's list on 95/98/Me; "" with
// error when the Windows folder cannot be read.
std::string RenameListPath(uint32_t* error);
