// Putting back what an all-or-nothing run ([Rollback] ON) has changed when it
// has to stop: each module it replaced or scheduled, last first, by the undo
// decision on the run's own site. Free of Win32.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "engine/site/machine.h"
#include "engine/site/module_site.h"

class Rollback {
public:
    // name (the run's own copy of it, which outlives this) was replaced now,
    // or scheduled to be at the restart (staged).
    void Note(const std::string& name, bool staged) { m_changed.push_back(Change{&name, staged}); }

    // Puts back every change noted, last first, on site: 0, or 0x80 when a
    // step failed.
    uint32_t PutBack(ModuleSite& site, const Machine& machine) const;

private:
    struct Change {
        const std::string* name;
        bool staged;  // scheduled for the restart rather than replaced now
    };
    std::deque<Change> m_changed;
};
