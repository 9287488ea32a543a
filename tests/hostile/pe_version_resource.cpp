#include "pe_version_resource.h"

#include <cstdint>

namespace {

const uint32_t kRtVersion = 16;

uint32_t Get(const std::string& bytes, size_t offset, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[offset + static_cast<size_t>(i)]);
    }
    return value;
}

class PeImage {
public:
    explicit PeImage(const std::string& bytes) : m_bytes(bytes) {}

    bool Parse() {
        if (!Has(0, 0x40) || Get(m_bytes, 0, 2) != 0x5A4D) return false;
        const size_t pe = Get(m_bytes, 0x3C, 4);
        if (!Has(pe, 24) || Get(m_bytes, pe, 4) != 0x00004550) return false;
        const size_t fileHeader = pe + 4;
        m_sections = Get(m_bytes, fileHeader + 2, 2);
        const size_t optional = fileHeader + 20;
        const size_t optionalSize = Get(m_bytes, fileHeader + 16, 2);
        const uint32_t magic = Get(m_bytes, optional, 2);
        const size_t directories = optional + (magic == 0x20B ? 112 : 96);
        if (!Has(directories, 3 * 8)) return false;
        m_resourceRva = Get(m_bytes, directories + 2 * 8, 4);
        m_sectionTable = optional + optionalSize;
        return m_resourceRva != 0 && Has(m_sectionTable, m_sections * 40);
    }

    // File offset of a relative virtual address, or 0 when no section holds it.
    size_t Offset(uint32_t rva) const {
        for (size_t i = 0; i < m_sections; ++i) {
            const size_t section = m_sectionTable + i * 40;
            const uint32_t start = Get(m_bytes, section + 12, 4);
            const uint32_t raw = Get(m_bytes, section + 16, 4);
            if (rva >= start && rva < start + raw) return Get(m_bytes, section + 20, 4) + (rva - start);
        }
        return 0;
    }

    // The directory entry's target (offset from the resource root) for id, or
    // the first entry when id is 0; sets subdirectory from its high bit.
    bool Child(size_t directory, uint32_t id, size_t* target, bool* subdirectory) const {
        const size_t root = Offset(m_resourceRva);
        const size_t at = root + directory;
        if (!Has(at, 16)) return false;
        const size_t count = Get(m_bytes, at + 12, 2) + Get(m_bytes, at + 14, 2);
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = at + 16 + i * 8;
            if (!Has(entry, 8)) return false;
            if (id != 0 && Get(m_bytes, entry, 4) != id) continue;
            const uint32_t to = Get(m_bytes, entry + 4, 4);
            *subdirectory = (to & 0x80000000u) != 0;
            *target = to & 0x7FFFFFFFu;
            return true;
        }
        return false;
    }

    size_t Root() const { return Offset(m_resourceRva); }
    bool Has(size_t offset, size_t length) const {
        return offset <= m_bytes.size() && length <= m_bytes.size() - offset;
    }

private:
    const std::string& m_bytes;
    size_t m_sections = 0;
    size_t m_sectionTable = 0;
    uint32_t m_resourceRva = 0;
};

}  // namespace

bool FindVersionResource(const std::string& bytes, VersionResourceAt* at) {
    PeImage image(bytes);
    if (!image.Parse() || image.Root() == 0) return false;
    // Type, then name, then language: the first of each below RT_VERSION.
    size_t node = 0;
    bool subdirectory = true;
    if (!image.Child(node, kRtVersion, &node, &subdirectory) || !subdirectory) return false;
    if (!image.Child(node, 0, &node, &subdirectory) || !subdirectory) return false;
    if (!image.Child(node, 0, &node, &subdirectory) || subdirectory) return false;
    const size_t entry = image.Root() + node;
    if (!image.Has(entry, 16)) return false;
    at->entry = entry;
    at->data = image.Offset(Get(bytes, entry, 4));
    at->size = Get(bytes, entry + 4, 4);
    return at->data != 0 && image.Has(at->data, at->size);
}

void PutWord(std::string& bytes, size_t offset, unsigned value) {
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void PutDword(std::string& bytes, size_t offset, unsigned long value) {
    PutWord(bytes, offset, static_cast<unsigned>(value & 0xFFFF));
    PutWord(bytes, offset + 2, static_cast<unsigned>((value >> 16) & 0xFFFF));
}
