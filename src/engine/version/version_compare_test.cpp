#include "engine/version/version_compare.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "log/debug_log.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/logged_test.h"
#include "support/os_fault.h"
#include "support/resource_counter.h"
#include "support/temp_dir.h"

namespace {

const uint64_t kNoon = 0x01D9000000000000ull;  // some moment in 2022
const char kUnreadable[] = "<unreadable>";

// Comparisons of copies of the version-resource fixtures, each given an
// exact last-write time. Every test ends with no handle or heap block held.
class CompareTest : public LoggedTest {
protected:
    void TearDown() override {
        LoggedTest::TearDown();
        EXPECT_EQ(0, m_counter.Outstanding()) << m_counter.Report();
        EXPECT_EQ(0, m_counter.StrayReleases()) << m_counter.Report();
    }

    // A copy of fixture named as, last written at time.
    std::string Copy(const std::string& fixture, const std::string& as, uint64_t time = kNoon) {
        const std::string path = m_dir.File(as);
        EXPECT_TRUE(::CopyFileA(FixturePath(fixture).c_str(), path.c_str(), FALSE)) << fixture;
        HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        FILETIME written = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        EXPECT_TRUE(::SetFileTime(h, nullptr, nullptr, &written)) << fixture;
        ::CloseHandle(h);
        return path;
    }

    // The log lines of a comparison that gets to the version texts.
    static std::string Texts(const std::string& file1, const std::string& version1,
                             const std::string& file2, const std::string& version2) {
        return "CompareTimeStamp [4a] - " + file1 + " is \"" + version1 + "\".\r\n" +
               "CompareTimeStamp [4b] - " + file2 + " is \"" + version2 + "\".\r\n";
    }

    // The FileVersion of path, read into a buffer full of 'x', or kUnreadable
    // when the reading fails, which must leave the buffer all zeros.
    std::string ReadVersion(const std::string& path) {
        char buffer[MAX_PATH];
        std::memset(buffer, 'x', sizeof buffer);
        if (m_env.QmxGetVersion(path, buffer, sizeof buffer) == 1) return buffer;
        EXPECT_EQ(std::string(sizeof buffer, '\0'), std::string(buffer, sizeof buffer)) << path;
        return kUnreadable;
    }

    // Each call of Entry failed in turn: no version, and the block freed.
    template <auto Entry, typename R>
    void ExpectEveryFailureReadsNothing(R result, const char* name) {
        FailEachCallInTurn<Entry>(result, ERROR_NOT_ENOUGH_MEMORY, [&](int nth, const auto& fault) {
            const std::string read = ReadVersion(FixturePath("V2_9.DLL"));
            EXPECT_EQ(fault.fired() ? kUnreadable : "2.9", read) << name << " #" << nth;
        });
    }

    TempDir m_dir;
    VersionCompare m_env;
    ResourceCounter m_counter;
};

// The Translation value reported as shorter than one entry.
BOOL WINAPI EmptyTranslation(LPCVOID block, LPCSTR name, LPVOID* value, PUINT length) {
    const BOOL ok = RealOsCalls().VerQueryValueA(block, name, value, length);
    if (std::strcmp(name, "\\VarFileInfo\\Translation") == 0) *length = 2;
    return ok;
}

// A reading of the version block that "succeeds" with a value other than 1.
BOOL WINAPI VersionInfoReturnsTwo(LPCSTR name, DWORD handle, DWORD size, LPVOID data) {
    return RealOsCalls().GetFileVersionInfoA(name, handle, size, data) ? 2 : 0;
}

}  // namespace

// Every comparison of two files: the result and every log line, with $A and
// $B standing for the two paths. A missing fixture is a file that does not
// exist; times are ticks after noon.
TEST_F(CompareTest, EachPairGivesItsResultAndItsLines) {
    const struct {
        const char* first;
        uint64_t time1;
        const char* second;
        uint64_t time2;
        int32_t result;
        const char* version1;  // nullptr: no version text is logged
        const char* version2;
        std::vector<std::string> lines;  // each logged as "CompareTimeStamp <line>.\r\n"
    } rows[] = {
        // --- Missing files; the second missing logs only the second path ---
        {nullptr, 0, nullptr, 0, QMX_COMP_BOTH_NOT_EXIST, nullptr, nullptr,
         {"[3] - Not exist $A, $B"}},
        {nullptr, 0, "V2_9.DLL", 0, QMX_COMP_FILE1_NOT_EXIST, nullptr, nullptr,
         {"[2] - Not exist $A"}},
        {"V2_9.DLL", 0, nullptr, 0, QMX_COMP_FILE2_NOT_EXIST, nullptr, nullptr,
         {"[1] - Not exist $B"}},
        // --- Unreadable versions: the times decide, and the line shows which ---
        {"NOVERSION.DLL", 0, "NOVERSION2.DLL", 0, QMX_COMP_SAME, nullptr, nullptr,
         {": QMX_COMP_SAME (3) QmxGetVersion is faild [0:0]", ": QMX_COMP_SAME (3)"}},
        {"V3_0.DLL", 1, "NOVERSION.DLL", 0, QMX_COMP_FILE1_IS_NEW, nullptr, nullptr,
         {": QMX_COMP_SAME (3) QmxGetVersion is faild [1:0]", ": QMX_COMP_FILE1_IS_NEW (4)"}},
        {"NOVERSION.DLL", 0, "V3_0.DLL", 1, QMX_COMP_FILE2_IS_NEW, nullptr, nullptr,
         {": QMX_COMP_SAME (3) QmxGetVersion is faild [0:1]", ": QMX_COMP_FILE2_IS_NEW (4)"}},
        // --- The version numbers decide, not the texts; the first differing
        // number names itself ---
        {"V2_10.DLL", 0, "V2_9.DLL", 0, QMX_COMP_FILE1_IS_NEW, "2.10", "2.9",
         {": QMX_COMP_FILE1_IS_NEW (2)"}},
        {"V2_9.DLL", 0, "V2_10.DLL", 0, QMX_COMP_FILE2_IS_NEW, "2.9", "2.10",
         {": QMX_COMP_FILE2_IS_NEW (2)"}},
        {"V3_0.DLL", 0, "V2_9.DLL", 0, QMX_COMP_FILE1_IS_NEW, "3.0", "2.9",
         {": QMX_COMP_FILE1_IS_NEW (1)"}},
        {"V2_9.DLL", 0, "V3_0.DLL", 0, QMX_COMP_FILE2_IS_NEW, "2.9", "3.0",
         {": QMX_COMP_FILE2_IS_NEW (1)"}},
        {"V5_1_2601.DLL", 0, "V5_1_2600_2.DLL", 0, QMX_COMP_FILE1_IS_NEW, "5.1.2601",
         "5.1.2600.2", {": QMX_COMP_FILE1_IS_NEW (3)"}},
        {"V5_1_2600_0.DLL", 0, "V5_1_2601.DLL", 0, QMX_COMP_FILE2_IS_NEW, "5.1.2600.0",
         "5.1.2601", {": QMX_COMP_FILE2_IS_NEW (3)"}},
        // The version beats the time.
        {"V3_0.DLL", 0, "V2_9.DLL", 10000000, QMX_COMP_FILE1_IS_NEW, "3.0", "2.9",
         {": QMX_COMP_FILE1_IS_NEW (1)"}},
        // --- Equal versions: the times decide, to the tick ---
        // Texts equal but for case are the same version.
        {"V1_0A_LOWER.DLL", 1, "V1_0A_UPPER.DLL", 0, QMX_COMP_FILE1_IS_NEW, "1.0a", "1.0A",
         {": QMX_COMP_SAME (2)", ": QMX_COMP_FILE1_IS_NEW (4)"}},
        // Equal numbers in different texts are the same version.
        {"V1_0.DLL", 0, "V1_0_0.DLL", 0, QMX_COMP_SAME, "1.0", "1.0.0",
         {": QMX_COMP_SAME (1)", ": QMX_COMP_SAME (3)"}},
        // The fourth number is ignored.
        {"V5_1_2600_1.DLL", 0, "V5_1_2600_2.DLL", 1, QMX_COMP_FILE2_IS_NEW, "5.1.2600.1",
         "5.1.2600.2", {": QMX_COMP_SAME (1)", ": QMX_COMP_FILE2_IS_NEW (4)"}},
        // Commas and blanks read like dots.
        {"V5_1_2600_COMMAS.DLL", 1, "V5_1_2600_0.DLL", 0, QMX_COMP_FILE1_IS_NEW,
         "5, 1, 2600, 0", "5.1.2600.0", {": QMX_COMP_SAME (1)", ": QMX_COMP_FILE1_IS_NEW (4)"}},
        // An empty FileVersion is worth zero.
        {"VEMPTY.DLL", 0, "V1_0.DLL", 0, QMX_COMP_FILE2_IS_NEW, "", "1.0",
         {": QMX_COMP_FILE2_IS_NEW (1)"}},
        {"V2_9.DLL", 0, "V2_9.DLL", 0, QMX_COMP_SAME, "2.9", "2.9",
         {": QMX_COMP_SAME (2)", ": QMX_COMP_SAME (3)"}},
    };
    for (const auto& row : rows) {
        const std::string what = std::string(row.first ? row.first : "missing") + " " +
                                 (row.second ? row.second : "missing");
        SCOPED_TRACE(what);
        ClearLog();
        ::DeleteFileA(m_dir.File("A.DLL").c_str());
        ::DeleteFileA(m_dir.File("B.DLL").c_str());
        const std::string a = row.first ? Copy(row.first, "A.DLL", kNoon + row.time1)
                                        : m_dir.File("A.DLL");
        const std::string b = row.second ? Copy(row.second, "B.DLL", kNoon + row.time2)
                                         : m_dir.File("B.DLL");
        std::string expected = row.version1 ? Texts(a, row.version1, b, row.version2) : "";
        for (std::string line : row.lines) {
            for (const auto& name : {std::make_pair("$A", a), std::make_pair("$B", b)}) {
                const size_t at = line.find(name.first);
                if (at != std::string::npos) line.replace(at, 2, name.second);
            }
            expected += "CompareTimeStamp " + line + ".\r\n";
        }
        EXPECT_EQ(row.result, m_env.CompareTimeStamp(a, b));
        EXPECT_EQ(expected, LogText());
    }
}

// A file held without read sharing, or whose time cannot be read, counts as
// missing.
TEST_F(CompareTest, AFileWithoutAReadableTimeCountsAsMissing) {
    const std::string a = Copy("V3_0.DLL", "A.DLL"), b = Copy("V2_9.DLL", "B.DLL");
    HANDLE holder = ::CreateFileA(a.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_EQ(QMX_COMP_FILE1_NOT_EXIST, m_env.CompareTimeStamp(a, b));
    ::CloseHandle(holder);
    OsFault<&OsCalls::GetFileTime> fault(2, FALSE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(QMX_COMP_FILE2_NOT_EXIST, m_env.CompareTimeStamp(a, b));
}

// A time that cannot be read leaves the file open for the caller to close.
TEST_F(CompareTest, ProbeReportsTheLastWriteTime) {
    const std::string a = Copy("V3_0.DLL", "A.DLL", kNoon + 1);
    int exists = 0;
    FILETIME time = {};
    HANDLE h = m_env.OpenFileTimeStamp(a, &exists, &time);
    EXPECT_EQ(1, exists);
    EXPECT_EQ(kNoon + 1, (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    m_env.CloseFileTimeStamp(h);

    h = m_env.OpenFileTimeStamp(m_dir.File("NONE.DLL"), &exists, &time);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(0, exists);
    m_env.CloseFileTimeStamp(h);  // harmless on the invalid value

    exists = 7;
    OsFault<&OsCalls::GetFileTime> fault(1, FALSE, ERROR_ACCESS_DENIED);
    h = m_env.OpenFileTimeStamp(a, &exists, &time);
    EXPECT_EQ(0, exists);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    m_env.CloseFileTimeStamp(h);
}

// --- Reading the FileVersion text ---

TEST_F(CompareTest, ReadsTheFileVersionOfTheFirstTranslation) {
    const struct {
        std::string path;
        const char* version;
    } rows[] = {
        {FixturePath("V5_1_2600_COMMAS.DLL"), "5, 1, 2600, 0"},
        // Language 0411 with code page 03a4: lower-case hexadecimal in the path.
        {FixturePath("VJAPANESE.DLL"), "6.0.1"},
        {FixturePath("VEMPTY.DLL"), ""},
        {FixturePath("NOVERSION.DLL"), kUnreadable},
        {FixturePath("VNOTRANSLATION.DLL"), kUnreadable},
        {FixturePath("VOTHERBLOCK.DLL"), kUnreadable},
        {m_dir.File("NONE.DLL"), kUnreadable},
    };
    for (const auto& row : rows) EXPECT_EQ(row.version, ReadVersion(row.path)) << row.path;
}

// A Translation value shorter than one entry is no translation, and only a
// reading of the block that returns exactly 1 counts.
TEST_F(CompareTest, OddAnswersOfTheVersionFunctionsReadNothing) {
    {
        OsCallsGuard guard;
        guard.Set(&OsCalls::VerQueryValueA, &EmptyTranslation);
        EXPECT_EQ(kUnreadable, ReadVersion(FixturePath("V2_9.DLL")));
    }
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetFileVersionInfoA, &VersionInfoReturnsTwo);
    EXPECT_EQ(kUnreadable, ReadVersion(FixturePath("V2_9.DLL")));
}

TEST_F(CompareTest, EveryFailedStepReadsNothingAndFreesTheBlock) {
    ExpectEveryFailureReadsNothing<&OsCalls::GetFileVersionInfoSizeA>(DWORD(0), "GetFileVersionInfoSizeA");
    ExpectEveryFailureReadsNothing<&OsCalls::LocalAlloc>(HLOCAL(nullptr), "LocalAlloc");
    ExpectEveryFailureReadsNothing<&OsCalls::GetFileVersionInfoA>(FALSE, "GetFileVersionInfoA");
    ExpectEveryFailureReadsNothing<&OsCalls::VerQueryValueA>(FALSE, "VerQueryValueA");
    EXPECT_GT(m_counter.Acquired(ResourceCounter::kHeap), 4);
}

TEST_F(CompareTest, AFailedVersionReadInsideAComparisonStillClosesBothFiles) {
    const std::string a = Copy("V3_0.DLL", "A.DLL", kNoon), b = Copy("V2_9.DLL", "B.DLL", kNoon);
    OsFault<&OsCalls::LocalAlloc> fault(2, HLOCAL(nullptr), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(QMX_COMP_SAME, m_env.CompareTimeStamp(a, b));
    EXPECT_EQ("CompareTimeStamp : QMX_COMP_SAME (3) QmxGetVersion is faild [1:0].\r\n"
              "CompareTimeStamp : QMX_COMP_SAME (3).\r\n",
              LogText());
}
