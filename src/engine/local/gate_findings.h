// What the machine gate learnt of each listed module's files, for the
// decision of the module that follows it: whether the installed module was
// there (and as what a directory search would find it), and the package's
// copy and the installed module, held open as the comparison of times opens
// them. Under Wine every open, search and close is a round trip to the
// server, and learning that a name is absent reads its whole folder: the
// gate's reads would otherwise come on top of the decision's own.
//
// Each finding is taken once, by the first decision of its name: a name
// listed again, or a module changed by the run since, is looked at afresh.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

class GateFindings {
public:
    GateFindings() = default;
    ~GateFindings() { Clear(); }
    GateFindings(const GateFindings&) = delete;
    GateFindings& operator=(const GateFindings&) = delete;

    // The installed module at path could not be opened because it is not
    // there.
    void NoteAbsent(const std::string& path) { m_absent.insert(path); }
    // It opened, and file is its handle: what a search would find of it.
    void NotePresent(const std::string& path, HANDLE file);
    // The package's copy at path opened for shared reading; this takes the
    // handle, closing it when one is held for path already.
    void Hold(const std::string& path, HANDLE file);
    // The same for the installed module at path.
    void HoldInstalled(const std::string& path, HANDLE file);
    // Every installed module's handle closed but path's: a module held open
    // cannot be replaced, and another listed name may be this module's
    // (a short name, a hard link).
    void ReleaseInstalledBut(const std::string& path);

    // 0 when the gate found path absent, 1 with data when present, -1 when
    // it learnt nothing of it; either way path is forgotten.
    int TakeInstalled(const std::string& path, WIN32_FIND_DATAA* data);
    // The handle held for path, now the caller's; INVALID_HANDLE_VALUE when
    // none.
    HANDLE TakeHeld(const std::string& path);

    // Everything forgotten, every held handle closed: the run has ended.
    void Clear();

private:
    std::set<std::string> m_absent;
    std::map<std::string, WIN32_FIND_DATAA> m_present;
    std::map<std::string, HANDLE> m_held;
    std::map<std::string, HANDLE> m_heldInstalled;
};
