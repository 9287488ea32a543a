// Builds small PE images with a version resource in memory, so the module
// reader can be tested natively and its fuzzer seeded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One node of a version tree. A text node's value is UTF-16 with its
// terminator; a binary node's value is taken as it stands.
struct VersionNode {
    std::string key;
    std::string value;
    bool text = false;
    std::vector<VersionNode> children;
};

// The serialised tree, lengths and padding as resource compilers write them.
std::string SerializeVersionNode(const VersionNode& node);

// The usual tree: a fixed file version a.b.c.d, one string table for
// language and code page with FileVersion = fileVersion, and a Translation.
VersionNode StandardVersionTree(const std::string& fileVersion, const uint16_t numbers[4],
                                uint16_t language = 0x0409, uint16_t codePage = 0x04b0);

// A 32-bit PE image whose only resource is RT_VERSION 1 in language 0x0409
// holding resource (recordedSize overrides the size the directory records).
std::string BuildPeImage(const std::string& resource, uint32_t recordedSize = 0);
