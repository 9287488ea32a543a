#include "platform/resource_string.h"

#include <vector>

HINSTANCE ResourceModule(HINSTANCE module) { return module ? module : ::GetModuleHandleA(nullptr); }

std::string LoadResourceString(HINSTANCE module, UINT id) {
    // LoadStringA reports a cut text only by filling the buffer, so a full
    // buffer means: try again with a larger one. A string-table entry holds
    // at most 65535 UTF-16 units, two ANSI bytes each at worst.
    for (int size = 256; size <= (1 << 18); size *= 2) {
        std::vector<char> buffer(static_cast<size_t>(size), '\0');
        const int length = ::LoadStringA(module, id, buffer.data(), size);
        if (length <= 0) return std::string();
        if (length < size - 1) return std::string(buffer.data(), static_cast<size_t>(length));
    }
    return std::string();
}
