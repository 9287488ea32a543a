// Whole-file reads at the edges a caller's limit makes: a file of exactly
// the limit is whole, one byte more is refused, a missing file is too.
#include "check/whole_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

TEST(WholeFile, ReadsUpToTheLimitAndRefusesMore) {
    char base[] = "/tmp/qmxwhole.XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(base));
    const std::string path = std::string(base) + "/QMX_CHG.SUM";
    // Past one read block too, so that the limit is met between blocks.
    const std::string text(200000, 'x');
    std::ofstream(path, std::ios::binary) << text;
    const struct {
        size_t limit;
        bool whole;
    } rows[] = {{static_cast<size_t>(-1), true}, {text.size(), true}, {text.size() - 1, false}, {0, false}};
    for (const auto& row : rows) {
        std::string bytes = "kept:";
        EXPECT_EQ(row.whole, ReadWholeFile(path, &bytes, row.limit)) << row.limit;
        if (row.whole) {
            EXPECT_EQ("kept:" + text, bytes);
        }
    }
    std::string bytes;
    EXPECT_FALSE(ReadWholeFile(std::string(base) + "/ABSENT.SUM", &bytes));
    std::system(("rm -rf '" + std::string(base) + "'").c_str());
}

}  // namespace
