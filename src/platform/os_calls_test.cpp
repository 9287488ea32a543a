#include "platform/os_calls.h"

#include <gtest/gtest.h>

#include "support/os_fault.h"

namespace {
LANGID WINAPI JapaneseUser() { return 0x0411; }
}  // namespace

TEST(OsCalls, GuardRestoresEveryEntry) {
    {
        OsCallsGuard guard;
        guard.Set(&OsCalls::GetUserDefaultLangID, &JapaneseUser);
        EXPECT_EQ(0x0411, g_os.GetUserDefaultLangID());
    }
    EXPECT_EQ(RealOsCalls().GetUserDefaultLangID, g_os.GetUserDefaultLangID);
}

TEST(OsCalls, FaultFiresOnTheNthCallOnly) {
    char buffer[MAX_PATH];
    {
        OsFault<&OsCalls::GetSystemDirectoryA> fault(2, 0, ERROR_ACCESS_DENIED);
        EXPECT_NE(0u, g_os.GetSystemDirectoryA(buffer, MAX_PATH));
        EXPECT_EQ(0u, g_os.GetSystemDirectoryA(buffer, MAX_PATH));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_os.GetLastError());
        EXPECT_NE(0u, g_os.GetSystemDirectoryA(buffer, MAX_PATH));
        EXPECT_EQ(3, fault.calls());
        EXPECT_EQ(1, fault.fired());
    }
    EXPECT_EQ(RealOsCalls().GetSystemDirectoryA, g_os.GetSystemDirectoryA);
}

TEST(OsCalls, PersistentFaultKeepsFailing) {
    OsFault<&OsCalls::CopyFileA> fault(1, FALSE, ERROR_DISK_FULL, true);
    EXPECT_FALSE(g_os.CopyFileA("C:\\nothing-a", "C:\\nothing-b", FALSE));
    EXPECT_FALSE(g_os.CopyFileA("C:\\nothing-a", "C:\\nothing-b", FALSE));
    EXPECT_EQ(2, fault.fired());
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), g_os.GetLastError());
}

// Wine, like every system the tests run on, has the functions looked up at
// run time; an entry marked absent is null until the guard restores it.
TEST(OsCalls, RunTimeEntriesAreFoundAndCanBeMarkedAbsent) {
    ASSERT_NE(nullptr, RealOsCalls().GetFileSizeEx);
    {
        OsCallsGuard guard;
        guard.MarkAbsent(&OsCalls::GetFileSizeEx);
        EXPECT_EQ(nullptr, g_os.GetFileSizeEx);
    }
    EXPECT_EQ(RealOsCalls().GetFileSizeEx, g_os.GetFileSizeEx);
}
