// Where a module's version resource sits in its file, so a test can damage
// exactly that resource in a copy of a fixture.
#pragma once

#include <cstddef>
#include <string>

struct VersionResourceAt {
    size_t data;   // file offset of the VS_VERSIONINFO block
    size_t size;   // its size as the resource directory records it
    size_t entry;  // file offset of the directory's data entry (offset, size, code page)
};

// Finds the first RT_VERSION resource of the PE image in bytes (32- or
// 64-bit). False when the image is not a PE file or has no such resource.
bool FindVersionResource(const std::string& bytes, VersionResourceAt* at);

// Little-endian field access for the damage itself.
void PutWord(std::string& bytes, size_t offset, unsigned value);
void PutDword(std::string& bytes, size_t offset, unsigned long value);
