#include "engine/seal/seal_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text_case.h"

namespace {

const NameRules kRules = {&UpperCaseAnsi};
const std::string kHash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kOther = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";

}  // namespace

TEST(ReadSeal, TakesWhatSha256sumWritesAndReads) {
    struct Row {
        const char* what;
        std::string text;
        std::vector<std::string> names;
        std::vector<std::string> keys;
    } rows[] = {
        {"LF, text mode", kHash + "  QMX_CHG.DAT\n" + kOther + "  qmxa.dll\n", {"QMX_CHG.DAT", "qmxa.dll"},
         {"QMX_CHG.DAT", "QMXA.DLL"}},
        {"CR LF, binary mode", kHash + " *a.dll\r\n" + kOther + " *B.DLL\r\n", {"a.dll", "B.DLL"}, {"A.DLL", "B.DLL"}},
        {"no line end at the end", kHash + "  a.dll", {"a.dll"}, {"A.DLL"}},
        {"empty lines anywhere", "\n\r\n" + kHash + "  a.dll\n\n\r\n", {"a.dll"}, {"A.DLL"}},
        {"spaces inside a name", kHash + "  my module.dll\n", {"my module.dll"}, {"MY MODULE.DLL"}},
        {"nothing at all", "", {}, {}},
        // 0x83 0x61 is one Shift-JIS character: its trail byte is no letter.
        {"double-byte name", kHash + "  \x83\x61x.dll\n", {"\x83\x61x.dll"}, {"\x83\x61X.DLL"}},
    };
    for (const Row& row : rows) {
        std::vector<SealLine> lines;
        ASSERT_EQ(1, ReadSeal(row.text, kRules, &lines)) << row.what;
        ASSERT_EQ(row.names.size(), lines.size()) << row.what;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(row.names[i], lines[i].name) << row.what;
            EXPECT_EQ(row.keys[i], lines[i].key) << row.what;
        }
    }
    std::vector<SealLine> lines;
    ASSERT_EQ(1, ReadSeal(kOther + "  a.dll\n", kRules, &lines));
    Sha256Digest upperCaseDigest;
    ASSERT_TRUE(ParseDigestHex(kOther.c_str(), &upperCaseDigest));
    EXPECT_EQ(upperCaseDigest, lines[0].digest);
}

TEST(ReadSeal, AnyLineOutOfShapeDamagesTheWholeSeal) {
    const std::string good = kHash + "  GOOD.DLL\n";
    struct Row {
        const char* what;
        std::string line;
    } rows[] = {
        {"one space only", kHash + " a.dll"},
        {"tab instead of space", kHash + "\t a.dll"},
        {"other mode mark", kHash + " ?a.dll"},
        {"no name", kHash + "  "},
        {"63 digits", kHash.substr(1) + "  a.dll"},
        {"65 digits", kHash + "0  a.dll"},
        {"not a digit", "g" + kHash.substr(1) + "  a.dll"},
        {"leading space", " " + kHash + "  a.dll"},
        {"comment", "# made by hand"},
        {"blanks only", "   "},
        {"BSD tag form", "SHA256 (a.dll) = " + kHash},
        {"escaped name", "\\" + kHash + "  a\\\\b.dll"},
        {"a path", kHash + "  sub/a.dll"},
        {"a Windows path", kHash + "  ..\\a.dll"},
        {"a device", kHash + "  NUL"},
        {"a wildcard", kHash + "  *.dll"},
        {"a stray CR in the name", kHash + "  a\r.dll"},
        {"two CRs at the end", kHash + "  a.dll\r\r"},
        {"a zero byte", kHash + "  a" + std::string(1, '\0') + ".dll"},
        {"a CR after a lead byte", kHash + "  a\x83\r.dll"},
        {"the same name again", kOther + "  good.dll"},
        {"byte order mark", "\xEF\xBB\xBF" + kHash + "  a.dll"},
    };
    for (const Row& row : rows) {
        std::vector<SealLine> lines;
        EXPECT_EQ(0, ReadSeal(good + row.line + "\r\n", kRules, &lines)) << row.what;
        EXPECT_EQ(0, ReadSeal(row.line + "\n" + good, kRules, &lines)) << row.what;
    }
}

TEST(ReadSeal, NamesDifferingOnlyInATrailByteAreTwoNames) {
    // 0x83 0x61 and 0x83 0x41 are different Shift-JIS characters; upper-cased
    // byte by byte they would collide.
    std::vector<SealLine> lines;
    EXPECT_EQ(1, ReadSeal(kHash + "  \x83\x61.dll\n" + kHash + "  \x83\x41.dll\n", kRules, &lines));
    EXPECT_EQ(2u, lines.size());
}

TEST(ReadSeal, RefusesASealLargerThanTheLimit) {
    std::string text;
    for (int i = 0; text.size() <= kMaxSealSize; ++i) text += kHash + "  F" + std::to_string(i) + ".DLL\n";
    std::vector<SealLine> lines;
    EXPECT_EQ(0, ReadSeal(text, kRules, &lines));
    text.resize(text.rfind('\n', kMaxSealSize - 1) + 1);
    EXPECT_EQ(1, ReadSeal(text, kRules, &lines));
}

TEST(SealLineText, WritesSha256sumsTextModeLine) {
    Sha256Digest digest;
    ASSERT_TRUE(ParseDigestHex(kOther.c_str(), &digest));
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855  QMX_CHG.DAT\n",
              SealLineText(digest, "QMX_CHG.DAT"));
}
