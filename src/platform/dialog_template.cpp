#include "platform/dialog_template.h"

#include <cstring>

namespace {

template <typename T>
T ReadAt(const unsigned char* bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

}  // namespace

bool ParseDialogTemplateHeader(const void* data, size_t size, DialogTemplateHeader* header) {
    if (!data || !header) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const bool extended =
        size >= 4 && ReadAt<uint16_t>(bytes, 0) == 1 && ReadAt<uint16_t>(bytes, 2) == 0xFFFF;
    if (extended) {
        // dlgVer, signature, helpID, exStyle, style, cDlgItems, x, y, cx, cy
        if (size < 26) return false;
        *header = {true,
                   ReadAt<uint32_t>(bytes, 12),
                   ReadAt<uint32_t>(bytes, 8),
                   ReadAt<uint16_t>(bytes, 16),
                   ReadAt<int16_t>(bytes, 18),
                   ReadAt<int16_t>(bytes, 20),
                   ReadAt<int16_t>(bytes, 22),
                   ReadAt<int16_t>(bytes, 24)};
        return true;
    }
    // style, dwExtendedStyle, cdit, x, y, cx, cy
    if (size < 18) return false;
    *header = {false,
               ReadAt<uint32_t>(bytes, 0),
               ReadAt<uint32_t>(bytes, 4),
               ReadAt<uint16_t>(bytes, 8),
               ReadAt<int16_t>(bytes, 10),
               ReadAt<int16_t>(bytes, 12),
               ReadAt<int16_t>(bytes, 14),
               ReadAt<int16_t>(bytes, 16)};
    return true;
}
