// Change lists far larger or stranger than any package ships: each must be
// read by the documented rules, whole, and without a crash. The inputs are
// generated here rather than committed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/change_list_queries.h"
#include "log/debug_log.h"

namespace {

using Strings = std::vector<std::string>;

using OddChangeList = ::testing::Test;

// The i-th of many file names, as written and as read back upper-cased.
std::string FileName(const char* format, int i) {
    char name[32];
    std::snprintf(name, sizeof name, format, i);
    return name;
}

TEST_F(OddChangeList, FiftyMegabytesWithTwoHundredThousandFilesReadWhole) {
    const int kFiles = 200000;
    // About 265 bytes a line: a name, blanks, and a long comment.
    const std::string comment = " \t// " + std::string(240, 'c') + "\r\n";
    std::string bytes = "[Install]\r\n2:5\r\n[File]\r\n";
    bytes.reserve(54u << 20);
    for (int i = 0; i < kFiles; ++i) bytes += "  " + FileName("module%06d.dll", i) + comment;
    bytes += "[Log]\r\non\r\n";
    ASSERT_GE(bytes.size(), 50u << 20);

    const Strings entries = FileEntriesWith(bytes);
    ASSERT_EQ(entries.size(), static_cast<size_t>(kFiles));
    for (int i = 0; i < kFiles; ++i) {
        ASSERT_EQ(entries[i], FileName("MODULE%06d.DLL", i)) << "entry " << i;
    }
    // The sections on either side are still found.
    EXPECT_EQ(TargetsWith(bytes, 2, 5, 1), 1);
    EXPECT_EQ(LogOnWith(bytes), 1);
}

TEST_F(OddChangeList, FiveMegabyteLineIsOneEntry) {
    const std::string line(5u << 20, 'x');
    // Without a line end, as the last line.
    Strings entries = FileEntriesWith("[File]\n" + line);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], std::string(5u << 20, 'X'));

    // Before the section, as a comment, and as a value that is not ON.
    entries = FileEntriesWith("//" + line + "\n" + line + "\n[File]\n" + line + "\r" + line + "\nb\n");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].size(), line.size());
    EXPECT_EQ(entries[1], "B");
    EXPECT_EQ(LogOnWith("[Log]\non" + line + "\n"), 0);
}

TEST_F(OddChangeList, ZeroBytesStayInEntriesAndSeparatePatterns) {
    using namespace std::string_literals;
    // A zero byte is an ordinary byte of a line: it neither ends the line nor
    // counts as a blank.
    EXPECT_EQ(FileEntriesWith("[File]\na\0b.dll\n\0\n \0 \nc.dll"s),
              (Strings{"A\0B.DLL"s, "\0"s, "\0"s, "C.DLL"}));
    EXPECT_EQ(FileEntriesWith("[Fi\0le]\na.dll\n"s), Strings{});
    EXPECT_EQ(FileEntriesWith(std::string(4096, '\0')), Strings{});
    EXPECT_EQ(LogOnWith("[Log]\nON\0\n"s), 0);

    EXPECT_EQ(TargetsWith("[Install]\n1:4\0\0002:5\n"s, 2, 5, 0), 1);
    EXPECT_EQ(TargetsWith("[Install]\n2:5:1\0"s, 0, 0, 7), 0);  // a zero byte at the end adds nothing
    EXPECT_EQ(TargetsWith("[Install]\n\0"s + "2:5"s, 0, 0, 7), 1);  // but one in front is an empty pattern
}

TEST_F(OddChangeList, LoneCrEndsALineAndDropsTheRestUpToTheNextLineFeed) {
    // A list saved with CR alone as line end reads as its first line only:
    // the package then applies nowhere and lists nothing.
    const std::string crOnly = "[Install]\r2:5\r[File]\ra.dll\r[Log]\ron\r";
    EXPECT_EQ(TargetsWith(crOnly, 2, 5, 0), 0);
    EXPECT_EQ(FileEntriesWith(crOnly), Strings{});
    EXPECT_EQ(LogOnWith(crOnly), 0);

    EXPECT_EQ(FileEntriesWith("[File]\na.dll\rb.dll\nc.dll\r\r\r\nd.dll\r"), (Strings{"A.DLL", "C.DLL", "D.DLL"}));
}

TEST_F(OddChangeList, ByteOrderMarkSpoilsOnlyTheFirstLine) {
    const std::string bom = "\xEF\xBB\xBF";
    EXPECT_EQ(TargetsWith(bom + "[Install]\r\n2:5\r\n", 2, 5, 0), 0);
    EXPECT_EQ(LogOnWith(bom + "[Log]\r\non\r\n"), 0);
    EXPECT_EQ(FileEntriesWith(bom + "[Install]\r\n2:5\r\n[File]\r\na.dll\r\n"), Strings{"A.DLL"});
    // Inside a section the marked line is an entry like any other.
    EXPECT_EQ(FileEntriesWith("[File]\n" + bom + "a.dll\n"), Strings{bom + "A.DLL"});
}

TEST_F(OddChangeList, ShiftJisTrailBytesAreNeverUpperCased) {
    // 0x83 0x61 and 0x83 0x7A are katakana whose trail bytes read as "a" and
    // "z"; 0x95 0x5C has "\" as its trail byte; 0xE0 opens a character too.
    EXPECT_EQ(FileEntriesWith("[File]\n\x83\x61\x83\x7a.dll\nx\x95\x5c" "a.sys\nend\xe0\n\x83"),
              (Strings{"\x83\x61\x83\x7a.DLL", "X\x95\x5c" "A.SYS", "END\xe0", "\x83"}));
    // A lead byte never swallows the line end or a comment.
    EXPECT_EQ(FileEntriesWith("[File]\nab\x83\nc\x83\r\nd\x83//e\n"), (Strings{"AB\x83", "C\x83", "D\x83"}));
}

TEST_F(OddChangeList, HundredThousandPatternsAreAllTriedInOrder) {
    const int kPatterns = 100000;
    std::string entry;
    entry.reserve(kPatterns * 10);
    for (int i = 0; i < kPatterns; ++i) entry += "1:4:" + std::to_string(i + 100) + ", ";
    const std::string bytes = "[Install]\n" + entry + "2:5:1\n";

    SetLogSwitch(1);
    NativeLogRecord().clear();
    EXPECT_EQ(TargetsWith(bytes, 2, 5, 1), 1);
    const std::string log = NativeLogRecord();
    NativeLogRecord().clear();
    SetLogSwitch(0);

    size_t compared = 0;
    for (size_t at = 0; (at = log.find("CompVersion(", at)) != std::string::npos; ++at) ++compared;
    EXPECT_EQ(compared, static_cast<size_t>(kPatterns + 1));
    const std::string last = "CompVersion(2, 5, 1, 2:5:1)\r\n";
    EXPECT_NE(log.find(last), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 17), "Comp Result = 1\r\n");

    EXPECT_EQ(TargetsWith(bytes, 2, 5, 0), 0);
    EXPECT_EQ(TargetsWith(bytes, 1, 4, kPatterns + 99), 1);
}

}  // namespace
