// The two ways of folding blocks into the state agree, block for block and
// from any state: the digests the other tests check come from whichever way
// this processor hashes, on the build machine and under Windows alike.
#include "engine/seal/sha256_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

TEST(Sha256Blocks, TheProcessorsExtensionsFoldBlocksAsThePortableCodeDoes) {
    if (!Sha256CpuBlocksUsable()) GTEST_SKIP() << "this processor has no SHA extensions";
    std::mt19937 random(256);
    for (const size_t blocks : {1u, 2u, 3u, 16u, 1025u}) {
        std::vector<unsigned char> data(64 * blocks);
        for (unsigned char& byte : data) byte = static_cast<unsigned char>(random());
        uint32_t portable[8];
        for (uint32_t& word : portable) word = random();
        uint32_t cpu[8];
        std::copy(portable, portable + 8, cpu);
        Sha256BlocksPortable(portable, data.data(), blocks);
        Sha256BlocksCpu(cpu, data.data(), blocks);
        EXPECT_TRUE(std::equal(portable, portable + 8, cpu)) << blocks << " blocks";
    }
}
