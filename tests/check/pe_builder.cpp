#include "check/pe_builder.h"

namespace {

void Put(std::string& bytes, size_t at, uint32_t value, int width) {
    if (bytes.size() < at + static_cast<size_t>(width)) bytes.resize(at + static_cast<size_t>(width), '\0');
    for (int i = 0; i < width; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
}

void Pad4(std::string& bytes) {
    while (bytes.size() % 4 != 0) bytes += '\0';
}

std::string Utf16(const std::string& ascii) {
    std::string wide;
    for (const char c : ascii) {
        wide += c;
        wide += '\0';
    }
    return wide + std::string(2, '\0');
}

}  // namespace

std::string SerializeVersionNode(const VersionNode& node) {
    std::string bytes(6, '\0');
    bytes += Utf16(node.key);
    Pad4(bytes);
    bytes += node.value;
    Pad4(bytes);
    for (const VersionNode& child : node.children) {
        Pad4(bytes);
        bytes += SerializeVersionNode(child);
    }
    const size_t valueLength = node.text ? node.value.size() / 2 : node.value.size();
    Put(bytes, 0, static_cast<uint32_t>(bytes.size()), 2);
    Put(bytes, 2, static_cast<uint32_t>(valueLength), 2);
    Put(bytes, 4, node.text ? 1 : 0, 2);
    return bytes;
}

VersionNode StandardVersionTree(const std::string& fileVersion, const uint16_t numbers[4],
                                uint16_t language, uint16_t codePage) {
    std::string fixed;
    Put(fixed, 0, 0xFEEF04BD, 4);
    Put(fixed, 4, 0x00010000, 4);
    Put(fixed, 8, static_cast<uint32_t>(numbers[0]) << 16 | numbers[1], 4);
    Put(fixed, 12, static_cast<uint32_t>(numbers[2]) << 16 | numbers[3], 4);
    Put(fixed, 48, 0, 4);  // 52 bytes in all
    char block[9];
    static const char kHex[] = "0123456789abcdef";
    const uint32_t id = static_cast<uint32_t>(language) << 16 | codePage;
    for (int i = 0; i < 8; ++i) block[i] = kHex[(id >> (28 - 4 * i)) & 0xF];
    block[8] = '\0';
    std::string translation;
    Put(translation, 0, language, 2);
    Put(translation, 2, codePage, 2);

    VersionNode text{"FileVersion", Utf16(fileVersion), true, {}};
    VersionNode table{block, "", true, {text}};
    VersionNode strings{"StringFileInfo", "", true, {table}};
    VersionNode var{"Translation", translation, false, {}};
    VersionNode vars{"VarFileInfo", "", true, {var}};
    return VersionNode{"VS_VERSION_INFO", fixed, false, {strings, vars}};
}

std::string BuildPeImage(const std::string& resource, uint32_t recordedSize) {
    const uint32_t kSectionAddress = 0x1000;
    const size_t kSectionFile = 0x200;
    std::string image;
    Put(image, 0, 0x5A4D, 2);
    Put(image, 0x3C, 0x40, 4);
    Put(image, 0x40, 0x4550, 4);
    Put(image, 0x44, 0x14C, 2);       // i386
    Put(image, 0x46, 1, 2);           // one section
    Put(image, 0x54, 224, 2);         // optional header size
    const size_t optional = 0x58;
    Put(image, optional, 0x10B, 2);
    Put(image, optional + 92, 16, 4);  // data directories

    // The section: root, type and name directories, one data entry, data.
    std::string rsrc;
    auto directory = [&rsrc](uint32_t id, uint32_t target) {
        const size_t at = rsrc.size();
        Put(rsrc, at + 14, 1, 2);
        Put(rsrc, at + 16, id, 4);
        Put(rsrc, at + 20, target, 4);
    };
    directory(16, 0x80000000u | 24);
    directory(1, 0x80000000u | 48);
    directory(0x409, 72);
    const size_t data = 88;
    Put(rsrc, 72, kSectionAddress + static_cast<uint32_t>(data), 4);
    Put(rsrc, 76, recordedSize ? recordedSize : static_cast<uint32_t>(resource.size()), 4);
    rsrc.resize(data, '\0');
    rsrc += resource;

    Put(image, optional + 96 + 16, kSectionAddress, 4);
    Put(image, optional + 96 + 20, static_cast<uint32_t>(rsrc.size()), 4);
    const size_t section = optional + 224;
    image.resize(section, '\0');
    image += ".rsrc";
    Put(image, section + 8, static_cast<uint32_t>(rsrc.size()), 4);
    Put(image, section + 12, kSectionAddress, 4);
    Put(image, section + 16, static_cast<uint32_t>(rsrc.size()), 4);
    Put(image, section + 20, static_cast<uint32_t>(kSectionFile), 4);
    image.resize(kSectionFile, '\0');
    return image + rsrc;
}
