// The DER walker on lengths written byte by byte: each that does not fit is
// refused, and nothing is taken. A signature's shape is walked in
// check/authenticode_test.cpp.
#include "engine/seal/der_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DerReader, TakesOnlyLengthsThatFitTheirParent) {
    const std::string long128 = std::string("\x04\x81\x80", 3) + std::string(128, 'x');
    const struct {
        const char* what;
        std::string bytes;
        bool taken;
    } rows[] = {
        {"the long form", long128, true},
        {"the long form cut short", long128.substr(0, 100), false},
        {"a tag alone", "\x04", false},
        {"a length of 4 GiB", std::string("\x04\x84\xFF\xFF\xFF\xFF", 6), false},
        {"five length bytes", std::string("\x04\x85\x00\x00\x00\x00\x01" "x", 8), false},
        {"an indefinite length", std::string("\x04\x80" "x\x00\x00", 5), false},
        {"a length's bytes cut short", std::string("\x04\x82\x01", 3), false},
    };
    for (const auto& row : rows) {
        DerReader reader(row.bytes, 0, row.bytes.size()), body;
        EXPECT_EQ(row.taken, reader.Take(kDerOctets, &body)) << row.what;
        EXPECT_EQ(row.taken, reader.Empty()) << row.what;
    }
    // Inside a parent, a child's length is measured against the parent's
    // end, not against the bytes that follow it.
    const std::string nested("\x30\x03\x04\x03xyz", 7);
    DerReader whole(nested, 0, nested.size()), parent, child;
    ASSERT_TRUE(whole.Take(kDerSequence, &parent));
    EXPECT_FALSE(parent.Take(kDerOctets, &child));
}

}  // namespace
