#include "engine/undo/rollback.h"

#include "engine/site/outcome.h"

uint32_t Rollback::PutBack(ModuleSite& site, const Machine& machine) const {
    uint32_t failed = 0;
    for (auto change = m_changed.rbegin(); change != m_changed.rend(); ++change) {
        const uint32_t bit = site.Undo(*change->name, machine, change->staged).bit;
        if (bit != QMX_INST_COPIED && bit != QMX_INST_ON_REBOOT) failed = QMX_INST_FAILED;
    }
    return failed;
}
