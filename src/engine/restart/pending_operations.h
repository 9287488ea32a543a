// The operations Windows carries out at the next restart, as the NT family's
// move lists and WININIT.INI's [Rename] section hold them, and what they mean
// for one module. Free of Win32.
#pragma once

#include <cstddef>
#include <string>

enum class PendingKind {
    kNone,     // no operation names the module
    kOurs,     // only our own pair: its staged copy replacing it
    kForeign,  // another operation replaces, deletes or moves the module
};

// Every form a module and its staged copy may be listed by: long and short,
// in the folder the program sees and in the one that really holds them.
// Unused forms stay empty; case never matters.
struct PendingNames {
    std::string module[4];
    std::string staged[4];
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
// family, or on 95/98/Me (wininit true) WININIT.INI's [Rename] lines; what
// cannot be read stays empty. Fills names for the installed module dest in
// systemDir and its staged copy, their short forms only when the lists may
// hold one.
MachinePending ReadMachinePending(const std::string& systemDir, const std::string& dest, bool wininit,
                                  PendingNames* names);
// path, in the system folder systemDir as the program sees it, named in the
// folder that really holds it: the 32-bit program on 64-bit Windows sees
// SysWOW64 as system32, and the restart's 64-bit Session Manager does not.
// Any other path, or any other Windows, is itself.
std::string RealSystemPath(const std::string& systemDir, const std::string& path);
// Whether folder is this machine's system folder, as the program sees it.
bool IsSystemFolder(const std::string& folder);
