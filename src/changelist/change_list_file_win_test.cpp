// The reader over real files under Windows: the list is written beside this
// test executable, where GetChangeListPath looks for it.
#include "changelist/change_list_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/change_list_queries.h"
#include "log/debug_log.h"
#include "support/log_file.h"
#include "support/os_fault.h"
#include "support/temp_dir.h"

namespace {

using Strings = std::vector<std::string>;

class ChangeListOnWindows : public ::testing::Test {
protected:
    void SetUp() override { ::DeleteFileA(ChangeListPathBesideExe().c_str()); }
    void TearDown() override { ::DeleteFileA(ChangeListPathBesideExe().c_str()); }

    static void Write(const std::string& bytes) {
        ASSERT_TRUE(WriteWholeFile(ChangeListPathBesideExe(), bytes));
    }
    // What every query of a list with nothing in it says: no file (the
    // out-argument untouched), the log off, no machine targeted.
    static void ExpectAnswersNothing(ChangeListFile& list) {
        std::string entry = "untouched";
        EXPECT_EQ(list.FirstFileEntry(entry, ""), 0);
        EXPECT_EQ(list.IsLogOn(), 0);
        EXPECT_EQ(list.CheckInstallVersion(2, 5, 1, ""), 0);
        EXPECT_EQ(entry, "untouched");
    }
    // Succeeds only while nobody else holds the file open.
    static bool NoHandleLeftOpen() {
        HANDLE h = ::CreateFileA(ChangeListPathBesideExe().c_str(), GENERIC_READ | GENERIC_WRITE,
                                 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        ::CloseHandle(h);
        return true;
    }
    // The load fails and leaves the file closed.
    static void ExpectLoadFails(const std::string& why) {
        ChangeListFile list;
        EXPECT_EQ(list.IsLogOn(), 0) << why;
        EXPECT_TRUE(NoHandleLeftOpen()) << why;
    }
};

TEST_F(ChangeListOnWindows, PathIsBesideTheExecutableAndFixedByTheFirstCall) {
    ChangeListFile list;
    EXPECT_EQ(list.GetChangeListPath(""), ChangeListPathBesideExe());
    EXPECT_EQ(list.GetChangeListPath("OTHER.DAT"), ChangeListPathBesideExe());
}

// Delivers at most one byte per call, as a slow device may.
BOOL WINAPI ReadOneByte(HANDLE file, LPVOID buffer, DWORD, LPDWORD got, LPOVERLAPPED overlapped) {
    return RealOsCalls().ReadFile(file, buffer, 1, got, overlapped);
}

// Without a whole module path there is no list: not even the one a bare
// relative name would find in the current folder, which here says yes to
// everything.
TEST_F(ChangeListOnWindows, UnknownOrTruncatedModulePathCountsAsAMissingList) {
    Write("[Install]\r\n2:5:1\r\n[File]\r\na.dll\r\n[Log]\r\non\r\n");
    char previous[MAX_PATH] = {};
    ASSERT_NE(::GetCurrentDirectoryA(MAX_PATH, previous), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryA(TestExeFolder().c_str()));
    for (const auto& answer : {std::pair<DWORD, DWORD>{0, ERROR_ACCESS_DENIED},
                               {MAX_PATH, ERROR_INSUFFICIENT_BUFFER}}) {
        OsFault<&OsCalls::GetModuleFileNameA> noName(1, answer.first, answer.second, true);
        OsFault<&OsCalls::ReadFile> reads(1000, FALSE, 0);  // never fires; counts
        ChangeListFile list;
        EXPECT_EQ(list.GetChangeListPath(""), "") << answer.first;
        EXPECT_EQ(list.Load(), 0) << answer.first;
        ExpectAnswersNothing(list);
        EXPECT_EQ(reads.calls(), 0) << answer.first;
    }
    ::SetCurrentDirectoryA(previous);
}

TEST_F(ChangeListOnWindows, LineEndsOfEveryKindReadAlikeInOneReadOrMany) {
    for (const bool piecewise : {false, true}) {
        OsCallsGuard guard;
        if (piecewise) guard.Set(&OsCalls::ReadFile, &ReadOneByte);
        for (const char* bytes :
             {"[File]\r\na.dll\r\nb.dll\r\n", "[File]\na.dll\nb.dll\n", "[File]\r\na.dll\r\nb.dll"}) {
            EXPECT_EQ(FileEntriesWith(bytes), (Strings{"A.DLL", "B.DLL"})) << piecewise << " " << bytes;
        }
    }
}

// An empty file loads but answers nothing; a missing one does not load.
TEST_F(ChangeListOnWindows, EmptyOrMissingFileAnswersNothing) {
    Write("");
    ChangeListFile list;
    list.GetChangeListPath("");
    EXPECT_EQ(list.Load(), 1);
    std::string entry = "untouched";
    EXPECT_EQ(list.ReadLine(entry), 0);
    EXPECT_EQ(entry, "untouched");
    ExpectAnswersNothing(list);

    ::DeleteFileA(ChangeListPathBesideExe().c_str());
    ChangeListFile missing;
    missing.GetChangeListPath("");
    EXPECT_EQ(missing.Load(), 0);
    ExpectAnswersNothing(missing);
}

// A writer holding the file open stops the load; other readers do not.
TEST_F(ChangeListOnWindows, OnlyAFileHeldOpenForWritingCannotBeLoaded) {
    Write("[Log]\non\n");
    for (const DWORD access : {DWORD(GENERIC_WRITE), DWORD(GENERIC_READ)}) {
        const bool writing = access == GENERIC_WRITE;
        HANDLE other = ::CreateFileA(ChangeListPathBesideExe().c_str(), access,
                                     writing ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        ChangeListFile list;
        EXPECT_EQ(list.IsLogOn(), writing ? 0 : 1) << writing;
        ::CloseHandle(other);
        EXPECT_EQ(list.IsLogOn(), 1) << writing;
    }
}

TEST_F(ChangeListOnWindows, ReloadSeesTheFilesCurrentContent) {
    Write("[Log]\non\n");
    ChangeListFile list;
    EXPECT_EQ(list.IsLogOn(), 1);
    Write("[Log]\noff\n");
    EXPECT_EQ(list.IsLogOn(), 0);
}

// Claims success but delivers nothing: the data ended before the length.
BOOL WINAPI ReadNothing(HANDLE, LPVOID, DWORD, LPDWORD got, LPOVERLAPPED) {
    *got = 0;
    return TRUE;
}

TEST_F(ChangeListOnWindows, EveryFailingCallFailsTheLoadAndClosesTheFile) {
    Write("[Log]\non\n");
    {
        OsFault<&OsCalls::CreateFileA> fault(1, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
        ExpectLoadFails("CreateFileA");
    }
    {
        OsFault<&OsCalls::GetFileSizeEx> fault(1, FALSE, ERROR_IO_DEVICE);
        ExpectLoadFails("GetFileSizeEx");
    }
    OsCallsGuard guard;
    guard.Set(&OsCalls::ReadFile, &ReadNothing);
    ExpectLoadFails("a read that stops short");
    guard.Set(&OsCalls::ReadFile, &ReadOneByte);
    FailEachCallInTurn<&OsCalls::ReadFile>(FALSE, ERROR_IO_DEVICE, [&](int nth, const auto& fault) {
        ChangeListFile list;
        const int on = list.IsLogOn();
        EXPECT_TRUE(NoHandleLeftOpen()) << nth;
        EXPECT_EQ(fault.fired() ? 0 : 1, on) << nth;
    });
}

// Lengths that the signed 32-bit size cannot hold, or that no memory holds.
LONGLONG g_fakeLength = 0;
BOOL WINAPI FakeSize(HANDLE, PLARGE_INTEGER size) {
    size->QuadPart = g_fakeLength;
    return TRUE;
}

TEST_F(ChangeListOnWindows, OversizedFileFailsInsteadOfOverflowing) {
    Write("[Log]\non\n");
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetFileSizeEx, &FakeSize);
    // 4 GiB + 10 would read as 10 in 32 bits; 2 GiB would turn negative. The
    // last is just inside the range: a 32-bit process cannot allocate it, a
    // 64-bit one finds the data ending early.
    for (LONGLONG length : {0x10000000ALL, 0x80000000LL, 0x7FFFFFFFFFFFFFFFLL, 0x7FFFFFF0LL}) {
        g_fakeLength = length;
        ExpectLoadFails(std::to_string(length));
    }
}

// 95/98/Me and NT 4.0 have no GetFileSizeEx: the length comes from
// GetFileSize, high half included.
DWORD g_fakeHigh = 0;
DWORD g_fakeLow = 0;
DWORD WINAPI FakeSplitSize(HANDLE, LPDWORD high) {
    *high = g_fakeHigh;
    ::SetLastError(NO_ERROR);
    return g_fakeLow;
}

TEST_F(ChangeListOnWindows, WithoutGetFileSizeExTheLengthComesFromGetFileSize) {
    Write("[Log]\non\n");
    OsCallsGuard guard;
    guard.MarkAbsent(&OsCalls::GetFileSizeEx);
    EXPECT_EQ(ChangeListFile().IsLogOn(), 1);
    {
        OsFault<&OsCalls::GetFileSize> fault(1, INVALID_FILE_SIZE, ERROR_IO_DEVICE);
        ExpectLoadFails("GetFileSize");
        EXPECT_EQ(1, fault.fired());
    }
    guard.Set(&OsCalls::GetFileSize, &FakeSplitSize);
    // 4 GiB + 10 must not read as 10; an all-ones low half with no error is
    // a length (4 GiB - 1), not a failure, and is too long all the same.
    for (DWORD high : {1u, 0u}) {
        g_fakeHigh = high;
        g_fakeLow = high ? 10 : INVALID_FILE_SIZE;
        ExpectLoadFails(std::to_string(high));
    }
}

TEST_F(ChangeListOnWindows, ComparisonTraceReachesTheLogFileExactly) {
    ClearLog();
    Write("[Install]\r\n2:5:0, 2:5:1 // supported versions\r\n");
    SetLogSwitch(1);
    const int applies = ChangeListFile().CheckInstallVersion(2, 5, 1, "");
    SetLogSwitch(0);
    const std::string log = LogText();
    ClearLog();
    EXPECT_EQ(applies, 1);
    EXPECT_EQ(log,
              "CompVersion(2, 5, 1, 2:5:0)\r\n"
              "Comp Minor Version <0 : 1>\r\n"
              "Comp PlatformID <2 : 2>\r\n"
              "Comp MajorVersion <5 : 5>\r\n"
              "Comp Result = 0\r\n"
              "CompVersion(2, 5, 1, 2:5:1)\r\n"
              "Comp Minor Version <1 : 1>\r\n"
              "Comp PlatformID <2 : 2>\r\n"
              "Comp MajorVersion <5 : 5>\r\n"
              "Comp Result = 1\r\n");
}

// Run with the Japanese code page by a second test entry; skipped otherwise.
class ShiftJisOnWindows : public ChangeListOnWindows {
protected:
    void SetUp() override {
        if (::GetACP() != 932) GTEST_SKIP() << "ANSI code page is " << ::GetACP();
        ChangeListOnWindows::SetUp();
    }
};

TEST_F(ShiftJisOnWindows, TrailBytesInAToZSurviveUpperCasing) {
    // 0x83 0x61 (a katakana) ends in "a"; a per-byte mapping would make it 0x83 0x41.
    EXPECT_EQ(FileEntriesWith("[File]\r\n\x83\x61" "bc.dll\r\n[log]\r\n\x83\x61\r\n"),
              (Strings{"\x83\x61" "BC.DLL"}));
}

TEST_F(ShiftJisOnWindows, TrailBackslashInTheModuleNameDoesNotSplitThePath) {
    // "C:\APP\" + 0x95 0x5C + ".EXE": the 0x5C belongs to the character.
    static char fake[] = "C:\\APP\\\x95\x5C.EXE";
    struct Module {
        static DWORD WINAPI Name(HMODULE, LPSTR buffer, DWORD size) {
            lstrcpynA(buffer, fake, static_cast<int>(size));
            return static_cast<DWORD>(sizeof fake - 1);
        }
    };
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetModuleFileNameA, &Module::Name);
    ChangeListFile list;
    EXPECT_EQ(list.GetChangeListPath(""), "C:\\APP\\QMX_CHG.DAT");
}

}  // namespace
