#include "check/whole_file.h"

#include <cstdio>

bool ReadWholeFile(const std::string& path, std::string* bytes, size_t limit) {
    // The C library's files, not the C++ streams: those bring in imports
    // that the oldest Windows the check runs on lack.
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    const size_t start = bytes->size();
    char block[65536];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
        bytes->append(block, got);
        if (bytes->size() - start > limit) break;
    }
    const bool failed = std::ferror(in) != 0 || bytes->size() - start > limit;
    std::fclose(in);
    return !failed;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool written = out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const bool closed = out != nullptr && std::fclose(out) == 0;
    return written && closed;
}
