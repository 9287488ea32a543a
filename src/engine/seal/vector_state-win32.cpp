#include <windows.h>

#include "engine/seal/sha256_blocks.h"
#include "platform/os_calls.h"

bool SystemKeepsVectorState() {
    // Set only where the system saves the SSE registers; a system without
    // the function is taken not to.
    return g_os.IsProcessorFeaturePresent &&
           g_os.IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE);
}
