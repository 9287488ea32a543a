#include "changelist/change_list_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/change_list_queries.h"

namespace {

using Strings = std::vector<std::string>;

class ChangeListReader : public ::testing::Test {
protected:
    // bytes as the loaded change list, read from a file as the installer reads it.
    void Use(const std::string& bytes) {
        ChangeListOnDisk file(bytes);
        m_list.SetChangeListPath(ChangeListPathBesideExe());
        ASSERT_EQ(1, m_list.Load());
    }

    // Every line ReadLine hands out, each into a fresh text, until it reports 0.
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        std::string line;
        while (m_list.ReadLine(line)) {
            lines.push_back(line);
            line.clear();
        }
        return lines;
    }

    // The entries of one section: the first query by name, then NextEntry.
    std::vector<std::string> Entries(const std::string& section) {
        std::vector<std::string> entries;
        std::string entry;
        if (!m_list.FindEntry(entry, section)) return entries;
        do entries.push_back(entry);
        while (m_list.NextEntry(entry));
        return entries;
    }

    ChangeListFile m_list;
};

TEST_F(ChangeListReader, LinesEndAtCrLfOrLfAndCommentsRunThroughTheLineFeed) {
    const struct {
        const char* bytes;
        Strings lines;
    } rows[] = {
        // Text between CR and LF is dropped.
        {"a\r\nb\nc\rjunk\nd", {"a", "b", "c", "d"}},
        {"abc\rdef\n", {"abc"}},
        {"\n\r\n\rx", {"", "", ""}},
        // Data ending after CR or inside a comment ends the line there.
        {"abc\r", {"abc"}},
        {"abc// no line end", {"abc"}},
        {"x\n//", {"x", ""}},
        {"a/b//c//d\nnext\n/\n//\nlast/", {"a/b", "next", "/", "", "last/"}},
    };
    for (const auto& row : rows) {
        Use(row.bytes);
        EXPECT_EQ(Lines(), row.lines) << row.bytes;
    }
}

TEST_F(ChangeListReader, ReadLineAppendsAndReportsNothingWhenEmptyOrUnloaded) {
    std::string text = "kept";
    EXPECT_EQ(m_list.ReadLine(text), 0);
    EXPECT_EQ(text, "kept");

    Use("more");
    EXPECT_EQ(m_list.ReadLine(text), 1);
    EXPECT_EQ(text, "keptmore");
    EXPECT_EQ(m_list.ReadLine(text), 0);
    EXPECT_EQ(text, "keptmore");

    Use("");
    EXPECT_EQ(m_list.ReadLine(text), 0);
    std::string entry = "untouched";
    EXPECT_EQ(m_list.FindEntry(entry, "File"), 0);
    EXPECT_EQ(entry, "untouched");
}

TEST_F(ChangeListReader, TrimRemovesOnlySpacesAndTabs) {
    EXPECT_EQ(m_list.Trim(" \t a b \t "), "a b");
    EXPECT_EQ(m_list.Trim("\va\r"), "\va\r");
    EXPECT_EQ(m_list.Trim(" \t \t"), "");
    EXPECT_EQ(m_list.Trim(""), "");
    EXPECT_EQ(m_list.Trim("x"), "x");
}

// The nine-line example list stored with CR LF endings.
const char kExample[] =
    "// update package\r\n"
    "[Install]\r\n"
    "2:5:0, 2:5:1 // supported versions\r\n"
    "\r\n"
    "[file]\r\n"
    "  sample.dll\r\n"
    "sample.sys\t\r\n"
    "[Log]\r\n"
    "on\r\n";

TEST_F(ChangeListReader, EachSectionListsItsEntriesTrimmedAndUpperCased) {
    const std::string name(100000, 'x');
    const char zero[] = "[Install]\n2:5\0" "2:4\n";
    const struct {
        std::string bytes;
        const char* section;
        Strings entries;
    } rows[] = {
        {kExample, "Install", {"2:5:0, 2:5:1"}},
        {kExample, "File", {"SAMPLE.DLL", "SAMPLE.SYS"}},
        {kExample, "Log", {"ON"}},
        // Entries are whole lines, however long; blank and comment lines are none.
        {"[File]\n  sample.dll\t\nkey = value\n \t\n// only a comment\n\t\x01 x\n", "File",
         {"SAMPLE.DLL", "KEY = VALUE", "\x01 X"}},
        {"[File]\r\n \t" + name + "/y \t// note\r\nnext\n", "File",
         {std::string(100000, 'X') + "/Y", "NEXT"}},
        {std::string(zero, sizeof zero - 1), "Install", {std::string("2:5\0" "2:4", 7)}},
        // Headers match without case, but with their inner blanks, and only
        // at the start of the line.
        {"[log]\na\n", "Log", {"A"}},
        {"\t [LOG] \t// names\nb\n", "Log", {"B"}},
        {"[ Log ]\na\n", "Log", {}},
        {"\xEF\xBB\xBF[Log]\na\n", "Log", {}},  // a byte-order mark is a byte before the bracket
        {"x[Log]\na\n", "Log", {}},
        // Any bracketed line ends the section, but a lone bracket is an entry.
        {"[File]\na\n[\n]\n[ whatever ]\nb\n", "File", {"A", "[", "]"}},
        {"[File]\n[]\na\n", "File", {}},
        {"[File]\n[Log]\non\n", "File", {}},
        // Only the first occurrence of a section is read.
        {"[File]\na\n[Other]\nx\n[File]\nb\n", "File", {"A"}},
    };
    for (const auto& row : rows) {
        Use(row.bytes);
        EXPECT_EQ(Entries(row.section), row.entries) << row.bytes.substr(0, 60);
    }
}

TEST_F(ChangeListReader, FindEntryNeverMovesBack) {
    Use("[Install]\n2:5\n[Log]\non\n");
    std::string entry;
    EXPECT_EQ(m_list.FindEntry(entry, "Log"), 1);
    EXPECT_EQ(m_list.FindEntry(entry, "Install"), 0);
    EXPECT_EQ(entry, "ON");
}

TEST_F(ChangeListReader, EmptySectionNameReadsTheSectionAtThePosition) {
    Use("first\n\nsecond\n[X]\nthird\n");
    std::string entry;
    ASSERT_EQ(m_list.NextEntry(entry), 1);
    EXPECT_EQ(entry, "FIRST");
    ASSERT_EQ(m_list.NextEntry(entry), 1);
    EXPECT_EQ(entry, "SECOND");
    EXPECT_EQ(m_list.NextEntry(entry), 0);
    EXPECT_EQ(entry, "SECOND");
}

// The queries that load the file themselves, over a list beside the test
// executable.
using ChangeListBesideExe = ::testing::Test;

TEST_F(ChangeListBesideExe, PathIsTheExecutablesFolderAndFixedByTheFirstCall) {
    ChangeListFile list;
    EXPECT_EQ(list.GetChangeListPath(""), ChangeListPathBesideExe());
    EXPECT_EQ(list.GetChangeListPath("OTHER.DAT"), ChangeListPathBesideExe());

    ChangeListFile other;
    EXPECT_EQ(other.GetChangeListPath("OTHER.DAT"), TestExeFolder() + "OTHER.DAT");
    EXPECT_EQ(other.GetChangeListPath(""), TestExeFolder() + "OTHER.DAT");
}

TEST_F(ChangeListBesideExe, LogIsOnOnlyForOnInAnyCase) {
    EXPECT_EQ(LogOnWith("[Log]\non\n"), 1);
    EXPECT_EQ(LogOnWith("[log]\r\nOn"), 1);
    EXPECT_EQ(LogOnWith("[Log]\n// why\n\n  ON \t // yes\n"), 1);
    EXPECT_EQ(LogOnWith("[Log]\nONE\n"), 0);
    EXPECT_EQ(LogOnWith("[Log]\nO N\n"), 0);
    EXPECT_EQ(LogOnWith("[Log]\n1\n"), 0);
    EXPECT_EQ(LogOnWith("[Log]\noff\non\n"), 0);
    EXPECT_EQ(LogOnWith("[Log]\n[File]\non\n"), 0);
    EXPECT_EQ(LogOnWith("on\n"), 0);
}

TEST_F(ChangeListBesideExe, EachQueryReloadsAndSearchesFromTheTop) {
    ChangeListOnDisk file("[File]\na\nb\n[Log]\non\n[Install]\n2:5\n");
    ChangeListFile list;
    std::string entry;
    ASSERT_EQ(list.FirstFileEntry(entry, ""), 1);
    EXPECT_EQ(entry, "A");
    EXPECT_EQ(list.IsLogOn(), 1);
    ASSERT_EQ(list.FirstFileEntry(entry, ""), 1);
    EXPECT_EQ(entry, "A");
    ASSERT_EQ(list.NextEntry(entry), 1);
    EXPECT_EQ(entry, "B");
    EXPECT_EQ(list.NextEntry(entry), 0);
}

TEST_F(ChangeListBesideExe, ATakenReadingServesOneLoadOfTheSamePath) {
    std::string entry;
    ChangeListFile first;
    {
        ChangeListOnDisk file("[Log]\non\n[File]\nfirst\n");
        ASSERT_EQ(first.IsLogOn(), 1);
    }
    ChangeListOnDisk file("[File]\nsecond\n");
    ChangeListFile taker;
    taker.TakeReading(first);
    ASSERT_EQ(taker.FirstFileEntry(entry, ""), 1);
    EXPECT_EQ(entry, "FIRST");
    // The giver is left unloaded, and the taker's next query reads the file.
    EXPECT_EQ(first.ReadLine(entry), 0);
    ASSERT_EQ(taker.FirstFileEntry(entry, ""), 1);
    EXPECT_EQ(entry, "SECOND");

    // A reading of another list, or none at all, is not taken.
    ChangeListFile other;
    other.SetChangeListPath(TestExeFolder() + "OTHER.DAT");
    ChangeListFile loaded;
    ASSERT_EQ(loaded.IsLogOn(), 0);
    other.TakeReading(loaded);
    EXPECT_EQ(other.Load(), 0);
    ChangeListFile unloaded;
    ChangeListFile fresh;
    fresh.TakeReading(unloaded);
    ASSERT_EQ(fresh.FirstFileEntry(entry, ""), 1);
    EXPECT_EQ(entry, "SECOND");
}

}  // namespace
