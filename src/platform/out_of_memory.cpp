#include "platform/out_of_memory.h"

#include <cstdlib>

namespace {

OutOfMemoryHandler g_handler = nullptr;

}  // namespace

OutOfMemoryHandler SetOutOfMemoryHandler(OutOfMemoryHandler handler) {
    const OutOfMemoryHandler before = g_handler;
    g_handler = handler;
    return before;
}

void OutOfMemory() {
    // Once only: an allocation that fails while the handler reports would
    // otherwise call it again without end.
    const OutOfMemoryHandler handler = SetOutOfMemoryHandler(nullptr);
    if (handler != nullptr) handler();
    std::abort();
}
