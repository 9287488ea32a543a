#include "platform/os_calls.h"

#include <gtest/gtest.h>

#include "support/os_fault.h"

namespace {
LANGID WINAPI OddLanguage() { return 0x0C0A; }
}  // namespace

// A fake seen through the table while the guard lives, and the real system
// heard again once it is gone.
TEST(OsCalls, GuardRestoresEveryEntry) {
    const LANGID real = g_os.GetUserDefaultLangID();
    ASSERT_NE(0x0C0A, real);
    {
        OsCallsGuard guard;
        guard.Set(&OsCalls::GetUserDefaultLangID, &OddLanguage);
        guard.MarkAbsent(&OsCalls::GetFileSizeEx);
        EXPECT_EQ(0x0C0A, g_os.GetUserDefaultLangID());
        EXPECT_EQ(nullptr, g_os.GetFileSizeEx);
    }
    EXPECT_EQ(real, g_os.GetUserDefaultLangID());
    // Wine, like every system the tests run on, has the functions looked up
    // at run time, and the restored entry answers.
    char self[MAX_PATH];
    ASSERT_NE(0u, ::GetModuleFileNameA(nullptr, self, MAX_PATH));
    HANDLE file = ::CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER size = {};
    ASSERT_NE(nullptr, g_os.GetFileSizeEx);
    EXPECT_TRUE(g_os.GetFileSizeEx(file, &size));
    EXPECT_GT(size.QuadPart, 0);
    ::CloseHandle(file);
}

TEST(OsCalls, FaultFiresOnTheNthCallOnlyOrFromThenOn) {
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
    EXPECT_NE(0u, g_os.GetSystemDirectoryA(buffer, MAX_PATH));

    OsFault<&OsCalls::CopyFileA> fault(1, FALSE, ERROR_DISK_FULL, true);
    EXPECT_FALSE(g_os.CopyFileA("C:\\nothing-a", "C:\\nothing-b", FALSE));
    EXPECT_FALSE(g_os.CopyFileA("C:\\nothing-a", "C:\\nothing-b", FALSE));
    EXPECT_EQ(2, fault.fired());
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), g_os.GetLastError());
}
