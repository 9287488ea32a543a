// The PE header reader on images written field by field: what it reads of
// sound PE32 and PE32+ headers, and that each cut or lie is refused rather
// than read past.
#include "engine/version/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const size_t kOptional = 0x58;  // behind the DOS header, the signature and the COFF header

void Put(std::string& bytes, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// An image for machine with 16 directories and sections, each section's raw
// data inside the file.
std::string Image(uint16_t machine, bool pe32Plus, const std::vector<PeSection>& sections) {
    const size_t directories = kOptional + (pe32Plus ? 112 : 96), table = directories + 16 * 8;
    size_t size = table + 40 * sections.size();
    for (const PeSection& s : sections) size = std::max<size_t>(size, s.rawOffset + s.rawSize);
    std::string image(size, '\0');
    Put(image, 0, 0x5A4D, 2);
    Put(image, 0x3C, 0x40, 4);
    Put(image, 0x40, 0x4550, 4);
    Put(image, 0x44, machine, 2);
    Put(image, 0x46, static_cast<uint32_t>(sections.size()), 2);
    Put(image, 0x54, static_cast<uint32_t>(table - kOptional), 2);
    Put(image, kOptional, pe32Plus ? 0x20B : 0x10B, 2);
    Put(image, directories - 4, 16, 4);
    Put(image, directories + 8 * kPeResourceDirectory, 0x2000, 4);
    Put(image, directories + 8 * kPeResourceDirectory + 4, 0x10, 4);
    for (size_t i = 0; i < sections.size(); ++i) {
        Put(image, table + 40 * i + 8, sections[i].virtualSize, 4);
        Put(image, table + 40 * i + 12, sections[i].address, 4);
        Put(image, table + 40 * i + 16, sections[i].rawSize, 4);
        Put(image, table + 40 * i + 20, sections[i].rawOffset, 4);
    }
    return image;
}

const std::vector<PeSection> kSections = {{0x1000, 0x800, 0x200, 0x400}, {0x2000, 0x1000, 0x200, 0x600}};

TEST(PeImage, ReadsTheMachineTheDirectoriesAndWhereEachAddressLies) {
    for (const bool pe32Plus : {false, true}) {
        const std::string bytes = Image(pe32Plus ? 0x8664 : 0x14C, pe32Plus, kSections);
        const ByteView view(bytes);
        PeImage image;
        ASSERT_TRUE(image.ReadHeaders(view)) << pe32Plus;
        EXPECT_EQ(pe32Plus ? 0x8664 : 0x14C, image.Machine());
        EXPECT_EQ(pe32Plus, image.IsPe32Plus());
        EXPECT_EQ(kOptional + 64, image.ChecksumOffset());
        PeDirectory resources = {};
        ASSERT_TRUE(image.Directory(kPeResourceDirectory, &resources));
        EXPECT_EQ(0x2000u, resources.address);
        EXPECT_EQ(0x10u, resources.size);
        EXPECT_TRUE(image.DeclaresDirectory(15));
        EXPECT_FALSE(image.DeclaresDirectory(16));

        ASSERT_TRUE(image.ReadSections());
        ASSERT_EQ(2u, image.Sections().size());
        size_t offset = 0;
        ASSERT_TRUE(image.FileOffset(0x2010, &offset));
        EXPECT_EQ(0x610u, offset);
        // Past a section's raw data (its zero-filled tail in memory) or
        // between sections, an address has no place in the file.
        EXPECT_FALSE(image.FileOffset(0x1200, &offset));
        EXPECT_FALSE(image.FileOffset(0x1F00, &offset));
    }
}

TEST(PeImage, CutsAndLiesAreRefusedInsteadOfRead) {
    const std::string good = Image(0x14C, false, kSections);
    auto with = [&good](size_t at, uint32_t value, int width) {
        std::string bytes = good;
        Put(bytes, at, value, width);
        return bytes;
    };
    const struct {
        const char* what;
        std::string bytes;
    } refused[] = {
        {"no MZ", with(0, 0x4D5A, 2)},
        {"no PE signature", with(0x40, 0x454E, 4)},
        {"a COFF header cut short", good.substr(0, 0x50)},
        {"no optional header magic", good.substr(0, kOptional + 1)},
        {"a ROM image's magic", with(kOptional, 0x107, 2)},
    };
    for (const auto& row : refused) {
        PeImage image;
        EXPECT_FALSE(image.ReadHeaders(ByteView(row.bytes))) << row.what;
    }

    // Headers that count more than they hold.
    const std::string shortOptional = with(0x54, 96 + 2 * 8, 2), fewDirectories = with(kOptional + 92, 2, 4);
    const std::string moreSections = with(0x46, 0xFFFF, 2);
    const std::string rawPastTheEnd = with(kOptional + 96 + 128 + 40 + 20, 0x7FFFFFFF, 4);
    PeImage image;
    ASSERT_TRUE(image.ReadHeaders(ByteView(shortOptional)));
    EXPECT_FALSE(image.DeclaresDirectory(kPeCertificateDirectory));
    ASSERT_TRUE(image.ReadHeaders(ByteView(fewDirectories)));
    EXPECT_FALSE(image.DeclaresDirectory(kPeResourceDirectory));
    ASSERT_TRUE(image.ReadHeaders(ByteView(moreSections)));
    EXPECT_FALSE(image.ReadSections());
    ASSERT_TRUE(image.ReadHeaders(ByteView(rawPastTheEnd)));
    ASSERT_TRUE(image.ReadSections());
    size_t offset = 0;
    EXPECT_FALSE(image.FileOffset(0x2000, &offset));
}

}  // namespace
