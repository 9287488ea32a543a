#include "engine/seal/sha256.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

std::string HashOf(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return DigestHex(hash.Final());
}

// What the system's sha256sum says of the file at path.
std::string Sha256sumOf(const std::string& path) {
    std::string output;
    if (FILE* pipe = ::popen(("sha256sum '" + path + "'").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        ::pclose(pipe);
    }
    return output.substr(0, 64);
}

}  // namespace

TEST(Sha256, MatchesTheStandardsExamples) {
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", HashOf("abc"));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              HashOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
              HashOf(std::string(1000000, 'a')));
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", HashOf(""));
}

TEST(Sha256, PiecesOfAnySizeGiveTheWholesDigest) {
    std::string bytes(1000, '\0');
    std::mt19937 random(7);
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string whole = HashOf(bytes);
    for (const size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 127u, 999u}) {
        Sha256 hash;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            hash.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
        }
        EXPECT_EQ(whole, DigestHex(hash.Final())) << piece;
        // Final starts the object over.
        hash.Update("abc", 3);
        EXPECT_EQ(HashOf("abc"), DigestHex(hash.Final()));
    }
}

TEST(Sha256, AgreesWithSha256sumAroundEveryPaddingEdge) {
    char folder[] = "/tmp/qmxsha.XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(folder));
    std::mt19937 random(20);
    std::vector<size_t> sizes = {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 65536, 1000000};
    for (int i = 0; i < 4; ++i) sizes.push_back(random() % 300000);
    for (const size_t size : sizes) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        const std::string path = std::string(folder) + "/f" + std::to_string(size);
        std::ofstream(path, std::ios::binary) << bytes;
        EXPECT_EQ(Sha256sumOf(path), HashOf(bytes)) << size << " bytes";
    }
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
}

TEST(Sha256, ReadsHexDigitsOfEitherCaseAndNothingElse) {
    const std::string lower = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    std::string upper = lower;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    Sha256Digest digest;
    ASSERT_TRUE(ParseDigestHex(upper.c_str(), &digest));
    EXPECT_EQ(lower, DigestHex(digest));
    for (const size_t at : {0u, 31u, 63u}) {
        for (const char bad : {'g', 'G', ' ', '\0', '/', ':', '@', '`'}) {
            std::string text = lower;
            text[at] = bad;
            EXPECT_FALSE(ParseDigestHex(text.c_str(), &digest)) << at << " " << bad;
        }
    }
}
