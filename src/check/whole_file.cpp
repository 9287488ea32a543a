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
