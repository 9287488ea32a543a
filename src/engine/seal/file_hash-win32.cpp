#include "engine/seal/file_hash.h"

#include <memory>
#include <new>

#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

int HashFile(const std::string& path, Sha256Digest* digest, uint32_t* error) {
    // Read sharing only: a writer could change the bytes between two blocks.
    ScopedFile file(g_os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) {
        *error = g_os.GetLastError();
        return 0;
    }
    return HashOpenFile(file.Get(), digest, error);
}

int HashOpenFile(void* file, Sha256Digest* digest, uint32_t* error) {
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kHashBlockSize]);
    if (!block) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    Sha256 hash;
    for (;;) {
        DWORD got = 0;
        if (!g_os.ReadFile(file, block.get(), kHashBlockSize, &got, nullptr)) {
            *error = g_os.GetLastError();
            return 0;
        }
        if (got == 0) break;  // the end of the file
        if (got > kHashBlockSize) {
            *error = ERROR_READ_FAULT;
            return 0;
        }
        hash.Update(block.get(), got);
    }
    *digest = hash.Final();
    return 1;
}
