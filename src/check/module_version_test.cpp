// The module reader on images built in memory: what it reads from a sound
// version resource, and that damage anywhere gives "no text", not a read
// outside the image.
#include "check/module_version.h"

#include <gtest/gtest.h>

#include "check/pe_builder.h"

namespace {

const uint16_t k5_1_2600_0[4] = {5, 1, 2600, 0};

std::string Image(const std::string& text = "5.1.2600.0") {
    return BuildPeImage(SerializeVersionNode(StandardVersionTree(text, k5_1_2600_0)));
}

TEST(ModuleVersion, ReadsTheFirstTranslationsFileVersionAndTheFixedNumbers) {
    const ModuleVersion v = ReadModuleVersion(Image("5.1.2600.0 (xpsp.080413-2111)"));
    ASSERT_TRUE(v.hasText);
    EXPECT_EQ("5.1.2600.0 (xpsp.080413-2111)", v.text);
    ASSERT_TRUE(v.hasNumbers);
    EXPECT_EQ(5, v.numbers[0]);
    EXPECT_EQ(1, v.numbers[1]);
    EXPECT_EQ(2600, v.numbers[2]);
    EXPECT_EQ(0, v.numbers[3]);
}

TEST(ModuleVersion, FindsTheStringTableWhateverTheCaseOfItsName) {
    VersionNode tree = StandardVersionTree("2.0", k5_1_2600_0, 0x0411, 0x03a4);
    tree.children[0].children[0].key = "041103A4";
    const ModuleVersion v = ReadModuleVersion(BuildPeImage(SerializeVersionNode(tree)));
    EXPECT_TRUE(v.hasText);
    EXPECT_EQ("2.0", v.text);
}

TEST(ModuleVersion, NonAsciiAndOverlongTextsReadAsTheInstallerSeesThem) {
    EXPECT_EQ(std::string(259, '9'), ReadModuleVersion(Image(std::string(300, '9'))).text);
    const ModuleVersion empty = ReadModuleVersion(Image(""));
    EXPECT_TRUE(empty.hasText);
    EXPECT_EQ("", empty.text);
}

TEST(ModuleVersion, MissingPartsGiveNoText) {
    VersionNode noTranslation = StandardVersionTree("1.0", k5_1_2600_0);
    noTranslation.children.pop_back();
    EXPECT_FALSE(ReadModuleVersion(BuildPeImage(SerializeVersionNode(noTranslation))).hasText);

    VersionNode otherLanguage = StandardVersionTree("1.0", k5_1_2600_0);
    otherLanguage.children[0].children[0].key = "040704b0";
    EXPECT_FALSE(ReadModuleVersion(BuildPeImage(SerializeVersionNode(otherLanguage))).hasText);

    VersionNode shortTranslation = StandardVersionTree("1.0", k5_1_2600_0);
    shortTranslation.children[1].children[0].value.resize(2);
    EXPECT_FALSE(ReadModuleVersion(BuildPeImage(SerializeVersionNode(shortTranslation))).hasText);

    VersionNode noFixed = StandardVersionTree("1.0", k5_1_2600_0);
    noFixed.value.clear();
    const ModuleVersion v = ReadModuleVersion(BuildPeImage(SerializeVersionNode(noFixed)));
    EXPECT_TRUE(v.hasText);
    EXPECT_FALSE(v.hasNumbers);

    EXPECT_FALSE(ReadModuleVersion("").hasText);
    EXPECT_FALSE(ReadModuleVersion("MZ").hasText);
}

TEST(ModuleVersion, DamagedSizesAreRefused) {
    const std::string tree = SerializeVersionNode(StandardVersionTree("1.0", k5_1_2600_0));
    // The tree claims more than the resource holds.
    std::string claiming = tree;
    claiming[0] = static_cast<char>(0xFF);
    claiming[1] = static_cast<char>(0xFF);
    EXPECT_FALSE(ReadModuleVersion(BuildPeImage(claiming)).hasText);
    // The directory records more than a version resource can hold, or more
    // than the file has.
    EXPECT_FALSE(ReadModuleVersion(BuildPeImage(tree, 0x10001)).hasText);
    EXPECT_FALSE(ReadModuleVersion(BuildPeImage(tree, 0x8000)).hasText);
    // The file ends inside the resource.
    const std::string whole = BuildPeImage(tree);
    EXPECT_FALSE(ReadModuleVersion(whole.substr(0, whole.size() - 8)).hasText);
}

TEST(ModuleVersion, EveryCutAndEveryByteFlipStaysInsideTheImage) {
    // Sanitizers report any read outside; the results themselves may vary.
    const std::string whole = Image();
    for (size_t cut = 0; cut < whole.size(); cut += 7) ReadModuleVersion(whole.substr(0, cut));
    for (size_t at = 0; at < whole.size(); ++at) {
        std::string flipped = whole;
        flipped[at] = static_cast<char>(~flipped[at]);
        ReadModuleVersion(flipped);
    }
}

}  // namespace
