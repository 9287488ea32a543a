// The installer asks the platform for "\VarFileInfo\Translation", then for
// "\StringFileInfo\<language><code page>\FileVersion" of the first
// translation, in a buffer of twice the resource's size and 4 bytes more,
// zeroed first. This file rebuilds that buffer from the module's bytes and
// walks it as the platform does, so that both readers agree on damaged
// resources too.
#include "check/module_version.h"

#include <cstdio>

#include "platform/ansi_text.h"
#include "engine/version/pe_image.h"
#include "engine/version/version_info_limit.h"

namespace {

const uint32_t kRtVersion = 16;
const uint32_t kVersionInfoId = 1;
const uint32_t kLanguageNeutral = 0x0000;
const uint32_t kEnglishUs = 0x0409;
// The installer's text buffer holds 259 bytes and a terminator.
const size_t kMaxTextBytes = 259;
const uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

size_t Align4(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

// The image's resource directory, found through its sections.
class ResourceTree {
public:
    explicit ResourceTree(const ByteView& bytes) : m_bytes(bytes) {}

    bool Parse() {
        PeDirectory resources = {};
        if (!m_image.ReadHeaders(m_bytes) || !m_image.Directory(kPeResourceDirectory, &resources) ||
            resources.size == 0) {
            return false;
        }
        return m_image.ReadSections() && m_image.FileOffset(resources.address, &m_root);
    }

    // The resource directory entry with this id below the directory at
    // offset (from the resource root): its target offset, and whether that
    // is a directory.
    bool Child(size_t directory, uint32_t id, size_t* target, bool* isDirectory) const {
        const size_t at = m_root + directory;
        uint32_t named = 0, numbered = 0;
        if (!m_bytes.Read(at + 12, 2, &named) || !m_bytes.Read(at + 14, 2, &numbered)) return false;
        for (size_t i = named; i < static_cast<size_t>(named) + numbered; ++i) {
            uint32_t entryId = 0, to = 0;
            if (!m_bytes.Read(at + 16 + i * 8, 4, &entryId) || !m_bytes.Read(at + 20 + i * 8, 4, &to)) {
                return false;
            }
            if (entryId != id) continue;
            *isDirectory = (to & 0x80000000u) != 0;
            *target = to & 0x7FFFFFFFu;
            return true;
        }
        return false;
    }

    bool FirstChild(size_t directory, size_t* target, bool* isDirectory) const {
        const size_t at = m_root + directory;
        uint32_t named = 0, numbered = 0, to = 0;
        if (!m_bytes.Read(at + 12, 2, &named) || !m_bytes.Read(at + 14, 2, &numbered) ||
            named + numbered == 0 || !m_bytes.Read(at + 20, 4, &to)) {
            return false;
        }
        *isDirectory = (to & 0x80000000u) != 0;
        *target = to & 0x7FFFFFFFu;
        return true;
    }

    // The version resource's bytes: file offset and recorded size.
    bool VersionResource(size_t* offset, uint32_t* size) const {
        size_t node = 0;
        bool isDirectory = false;
        if (!Child(0, kRtVersion, &node, &isDirectory) || !isDirectory) return false;
        if (!Child(node, kVersionInfoId, &node, &isDirectory) || !isDirectory) return false;
        size_t leaf = 0;
        if (!Child(node, kLanguageNeutral, &leaf, &isDirectory) &&
            !Child(node, kEnglishUs, &leaf, &isDirectory) && !FirstChild(node, &leaf, &isDirectory)) {
            return false;
        }
        uint32_t address = 0;
        if (isDirectory || !m_bytes.Read(m_root + leaf, 4, &address) ||
            !m_bytes.Read(m_root + leaf + 4, 4, size)) {
            return false;
        }
        return m_image.FileOffset(address, offset) && m_bytes.Has(*offset, *size);
    }

private:
    const ByteView& m_bytes;
    PeImage m_image;
    size_t m_root = 0;
};

// One node of the version tree: length, value length, type, then a UTF-16
// key, the value and the children, each on a 4-byte boundary.
struct Node {
    size_t at;
    size_t length;
    size_t valueLength;
    bool text;
    size_t keyEnd;  // just after the key's terminator
};

bool ReadNode(const ByteView& block, size_t at, Node* node) {
    if (!block.Has(at, 6)) return false;
    node->at = at;
    node->length = block.Word(at);
    node->valueLength = block.Word(at + 2);
    node->text = block.Word(at + 4) != 0;
    size_t key = at + 6;
    while (true) {
        if (!block.Has(key, 2)) return false;
        if (block.Word(key) == 0) break;
        key += 2;
    }
    node->keyEnd = key + 2;
    return true;
}

size_t ValueOffset(const Node& node) { return node.at + Align4(node.keyEnd - node.at); }

size_t ChildrenOffset(const Node& node) {
    return ValueOffset(node) + Align4(node.valueLength * (node.text ? 2 : 1));
}

bool KeyIs(const ByteView& block, const Node& node, const std::string& key) {
    if ((node.keyEnd - node.at - 8) / 2 != key.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        // A UTF-16 unit beyond ASCII matches no byte of the ASCII key.
        const uint32_t c = block.Word(node.at + 6 + 2 * i);
        if (c > 0x7F || UpperAscii(static_cast<char>(c)) != UpperAscii(key[i])) return false;
    }
    return true;
}

// The node a "\a\b\c" path names, children searched as the platform does:
// within the parent's length, stopping at a child of length 0.
bool Query(const ByteView& block, const std::string& path, Node* found) {
    Node node;
    if (!ReadNode(block, 0, &node)) return false;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end == start) {
            ++start;
            continue;
        }
        const std::string key = path.substr(start, end - start);
        size_t child = ChildrenOffset(node);
        bool matched = false;
        while (child < node.at + node.length) {
            Node candidate;
            if (!ReadNode(block, child, &candidate)) return false;
            if (KeyIs(block, candidate, key)) {
                node = candidate;
                matched = true;
                break;
            }
            if (candidate.length == 0) return false;
            child += Align4(candidate.length);
        }
        if (!matched) return false;
        start = end;
    }
    *found = node;
    return true;
}

// The buffer the installer hands the platform: the resource, the platform's
// "FE2X" mark behind the tree when it fits, zeros elsewhere.
std::string InstallerBuffer(const ByteView& bytes, size_t offset, uint32_t size) {
    std::string buffer(2 * static_cast<size_t>(size) + 4, '\0');
    buffer.replace(0, size, bytes.Data() + offset, size);
    const size_t treeLength = ByteView(buffer).Word(0);
    if (treeLength + 4 <= buffer.size()) buffer.replace(treeLength, 4, "FE2X");
    return buffer;
}

// The platform converts a text value into the buffer's second half, at the
// value's own offset behind the tree's length and 4 bytes, and converts no
// more than fits before the tree's length from there.
void ConvertText(std::string& buffer, const Node& node, size_t* textAt) {
    const ByteView block(buffer);
    const size_t value = ValueOffset(node);
    const size_t treeLength = block.Word(0);
    *textAt = treeLength + 4 + value;
    const size_t room = treeLength > value ? treeLength - value : 0;
    for (size_t i = 0; i < node.valueLength && i < room; ++i) {
        uint32_t c = 0;
        if (!block.Read(value + 2 * i, 2, &c) || *textAt + i >= buffer.size()) break;
        buffer[*textAt + i] = c < 0x80 ? static_cast<char>(c) : '?';
    }
}

void ReadFixedVersion(const ByteView& block, ModuleVersion* version) {
    Node root;
    if (!ReadNode(block, 0, &root) || root.valueLength < 52) return;
    const size_t value = ValueOffset(root);
    uint32_t signature = 0, high = 0, low = 0;
    if (!block.Read(value, 4, &signature) || signature != kFixedFileInfoSignature ||
        !block.Read(value + 8, 4, &high) || !block.Read(value + 12, 4, &low)) {
        return;
    }
    version->hasNumbers = true;
    version->numbers[0] = static_cast<uint16_t>(high >> 16);
    version->numbers[1] = static_cast<uint16_t>(high & 0xFFFF);
    version->numbers[2] = static_cast<uint16_t>(low >> 16);
    version->numbers[3] = static_cast<uint16_t>(low & 0xFFFF);
}

void ReadFileVersionText(std::string& buffer, ModuleVersion* version) {
    const ByteView block(buffer);
    // A tree claiming more than the resource holds is refused before any query.
    if (2 * static_cast<size_t>(block.Word(0)) + 4 > buffer.size()) return;
    // A resource of 8-bit keys (a 16-bit module's layout) is not one a PE
    // module carries; it is left unread.
    if (static_cast<unsigned char>(buffer.size() > 4 ? buffer[4] : 0) >= ' ') return;

    Node translation;
    uint32_t first = 0;
    if (!Query(block, "\\VarFileInfo\\Translation", &translation) || translation.valueLength < 4 ||
        !block.Read(ValueOffset(translation), 4, &first)) {
        return;
    }
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", first & 0xFFFF,
                  first >> 16);
    Node text;
    if (!Query(block, query, &text)) return;
    size_t textAt = ValueOffset(text);
    if (text.text) ConvertText(buffer, text, &textAt);
    version->hasText = true;
    for (size_t i = textAt; i < buffer.size() && version->text.size() < kMaxTextBytes && buffer[i] != '\0';
         ++i) {
        version->text += buffer[i];
    }
}

}  // namespace

ModuleVersion ReadModuleVersion(const std::string& bytes) {
    ModuleVersion version;
    const ByteView file(bytes);
    ResourceTree resources(file);
    size_t offset = 0;
    uint32_t size = 0;
    if (!resources.Parse() || !resources.VersionResource(&offset, &size) || size == 0 ||
        2 * static_cast<size_t>(size) + 4 > kMaxVersionInfoSize) {
        return version;
    }
    std::string buffer = InstallerBuffer(file, offset, size);
    ReadFixedVersion(ByteView(buffer.data(), size), &version);
    ReadFileVersionText(buffer, &version);
    return version;
}

std::string NumericVersionText(const ModuleVersion& version) {
    std::string text;
    for (int i = 0; i < 4; ++i) text += (i ? "." : "") + std::to_string(version.numbers[i]);
    return text;
}
