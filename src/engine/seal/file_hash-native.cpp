#include "engine/seal/file_hash.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

int HashFile(const std::string& path, Sha256Digest* digest, uint32_t* error) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        *error = static_cast<uint32_t>(errno);
        return 0;
    }
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kHashBlockSize]);
    if (!block) {
        *error = ENOMEM;
        return 0;
    }
    Sha256 hash;
    size_t got = 0;
    errno = 0;
    while ((got = std::fread(block.get(), 1, kHashBlockSize, file.get())) > 0) {
        hash.Update(block.get(), got);
    }
    // A folder opens, and fails only at its first read.
    if (std::ferror(file.get())) {
        *error = errno != 0 ? static_cast<uint32_t>(errno) : EIO;
        return 0;
    }
    *digest = hash.Final();
    return 1;
}
