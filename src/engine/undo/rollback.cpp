#include "engine/undo/rollback.h"

#include "engine/site/outcome.h"

uint32_t Rollback::PutBack(ModuleSite& site, const Machine& machine) const {
    uint32_t bits = 0;
    for (auto change = m_changed.rbegin(); change != m_changed.rend(); ++change) {
        const uint32_t bit = site.RollBack(*change->name, machine, change->staged).bit;
        // A module that must wait for the restart to go back asks for it.
        if (bit == QMX_INST_ON_REBOOT) bits |= QMX_INST_ON_REBOOT;
        if (bit != QMX_INST_COPIED && bit != QMX_INST_ON_REBOOT && bit != QMX_INST_SKIPPED) bits |= QMX_INST_FAILED;
    }
    return bits;
}
