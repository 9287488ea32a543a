// The seal's cost per byte: SHA-256 in memory, and HashFile over a file just
// written (so from the system's cache), in megabytes (10^6 bytes) a second.
//
//   bench_hash MEGABYTES
//
// Prints one tab-separated line: megabytes, in-memory MB/s, file MB/s (the
// medians of five runs), and how the blocks were hashed: "SHA extensions"
// or "portable". Exit status 1 when the file cannot be written or
// hashes differently from the same bytes in memory.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "engine/seal/file_hash.h"
#include "engine/seal/sha256_blocks.h"

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 64;
    const size_t size = static_cast<size_t>(megabytes) * 1000000;
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 2654435761u >> 13);

    const char path[] = "bench_hash.bin";
    FILE* out = std::fopen(path, "wb");
    if (!out || std::fwrite(bytes.data(), 1, size, out) != size || std::fclose(out) != 0) return 1;

    std::vector<double> memory, file;
    Sha256Digest inMemory{}, fromFile{};
    for (int run = 0; run < 5; ++run) {
        double start = NowSeconds();
        Sha256 hash;
        for (size_t at = 0; at < size; at += kHashBlockSize) {
            hash.Update(bytes.data() + at, size - at < kHashBlockSize ? size - at : kHashBlockSize);
        }
        inMemory = hash.Final();
        memory.push_back(NowSeconds() - start);

        start = NowSeconds();
        uint32_t error = 0;
        if (HashFile(path, &fromFile, &error) != 1) return 1;
        file.push_back(NowSeconds() - start);
    }
    std::remove(path);
    if (inMemory != fromFile) return 1;
    std::printf("%ld\t%.1f\t%.1f\t%s\n", megabytes, megabytes / Median(memory), megabytes / Median(file),
                Sha256CpuBlocksUsable() ? "SHA extensions" : "portable");
    return 0;
}
