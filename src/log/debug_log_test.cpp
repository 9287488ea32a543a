#include "log/debug_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/scoped_handle.h"
#include "support/log_file.h"
#include "support/logged_test.h"
#include "support/os_fault.h"
#include "support/temp_dir.h"

namespace {

class DebugLogFile : public LoggedTest {};

// The log opened as another tool tailing and writing it opens it: for
// writing, with read sharing only.
HANDLE OpenAsForeignWriter() {
    return ::CreateFileA(kLogPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The system the log believes it runs on, and the flags its open asked for.
DWORD g_platform = VER_PLATFORM_WIN32_NT;
DWORD g_openFlags = 0;
BOOL WINAPI ReportPlatform(LPOSVERSIONINFOA info) {
    info->dwPlatformId = g_platform;
    info->dwMajorVersion = 4;
    info->dwMinorVersion = g_platform == VER_PLATFORM_WIN32_NT ? 0 : 10;
    return TRUE;
}
HANDLE WINAPI RecordFlags(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE model) {
    g_openFlags = flags;
    return RealOsCalls().CreateFileA(name, access, share, security, disposition, flags, model);
}

}  // namespace

TEST_F(DebugLogFile, SwitchOffCreatesNothingAndLeavesAnExistingLogAlone) {
    SetLogSwitch(0);
    DebugLog("CompVersion(%d, %d, %d, %s)\r\n", 2, 5, 1, "2:5");
    EXPECT_FALSE(PathExists(kLogPath));

    ASSERT_TRUE(WriteWholeFile(kLogPath, "old\r\n"));
    SetLogSwitch(2);
    DebugLog("Comp Result = %d\r\n", 1);
    EXPECT_EQ("old\r\n", LogText());
}

// The first line creates the log, or goes after what earlier runs left.
TEST_F(DebugLogFile, LinesAppendByteForByte) {
    for (const std::string earlier : {"", "earlier run\r\n"}) {
        ClearLog();
        ASSERT_TRUE(earlier.empty() || WriteWholeFile(kLogPath, earlier));
        DebugLog("CompVersion(%d, %d, %d, %s)\r\n", 2, 5, 1, "2:5:0");
        EXPECT_EQ(earlier + "CompVersion(2, 5, 1, 2:5:0)\r\n", LogText());
        DebugLog("Comp Result = %d\r\n", 0);
        DebugLog("no line end");
        EXPECT_EQ(earlier + "CompVersion(2, 5, 1, 2:5:0)\r\nComp Result = 0\r\nno line end", LogText());
    }
}

TEST_F(DebugLogFile, VeryLongLineIsWrittenWhole) {
    const std::string pattern(200000, '7');
    DebugLog("CompVersion(%d, %d, %d, %s)\r\n", 2, 5, 1, pattern.c_str());
    EXPECT_EQ("CompVersion(2, 5, 1, " + pattern + ")\r\n", LogText());
}

TEST_F(DebugLogFile, ReadOnlyLogLosesLinesSilently) {
    ASSERT_TRUE(WriteWholeFile(kLogPath, "kept\r\n"));
    ASSERT_TRUE(::SetFileAttributesA(kLogPath, FILE_ATTRIBUTE_READONLY));
    // Wine running as root (as CI does) maps the attribute to file modes that
    // root may ignore, so the denial Windows gives is injected as well.
    OsFault<&OsCalls::CreateFileA> denied(1, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, true);
    DebugLog("lost\r\n");
    DebugLog("next\r\n");
    EXPECT_EQ("kept\r\n", LogText());
    EXPECT_EQ(2, denied.calls());
}

TEST_F(DebugLogFile, LogHeldOpenForWritingLosesLinesThenRecovers) {
    {
        ScopedFile writer(OpenAsForeignWriter());
        ASSERT_TRUE(writer.IsValid());
        DebugLog("lost\r\n");
    }
    EXPECT_EQ("", LogText());
    DebugLog("next\r\n");
    EXPECT_EQ("next\r\n", LogText());
}

TEST_F(DebugLogFile, FailedSeekDropsTheLineAndClosesTheFile) {
    ASSERT_TRUE(WriteWholeFile(kLogPath, "kept\r\n"));
    {
        OsFault<&OsCalls::SetFilePointer> fault(1, INVALID_SET_FILE_POINTER, ERROR_ACCESS_DENIED);
        DebugLog("lost\r\n");
        EXPECT_EQ(1, fault.fired());
    }
    // Closed again: another process can now open it for writing.
    ScopedFile writer(OpenAsForeignWriter());
    EXPECT_TRUE(writer.IsValid());
    EXPECT_EQ("kept\r\n", LogText());
}

TEST_F(DebugLogFile, HardLinkedLogIsNeverWrittenThrough) {
    TempDir dir;
    const std::string target = dir.File("victim.ini");
    ASSERT_TRUE(WriteWholeFile(target, "[boot]\r\n"));
    ASSERT_TRUE(::CreateHardLinkA(kLogPath, target.c_str(), nullptr));

    DebugLog("CopyTargetFile - I'm not administrator.\r\n");

    std::string victim;
    ASSERT_TRUE(ReadWholeFile(target, &victim));
    EXPECT_EQ("[boot]\r\n", victim);
}

// 95/98/Me are not asked for the NT-only flag that keeps a link from being
// followed; they have no links. The lines arrive either way.
TEST_F(DebugLogFile, OpensReparsePointsItselfOnlyOnNt) {
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetVersionExA, &ReportPlatform);
    guard.Set(&OsCalls::CreateFileA, &RecordFlags);
    g_platform = VER_PLATFORM_WIN32_WINDOWS;
    DebugLog("on 98\r\n");
    EXPECT_EQ(0u, g_openFlags & FILE_FLAG_OPEN_REPARSE_POINT);
    g_platform = VER_PLATFORM_WIN32_NT;
    DebugLog("on NT 4.0\r\n");
    EXPECT_NE(0u, g_openFlags & FILE_FLAG_OPEN_REPARSE_POINT);
    EXPECT_EQ("on 98\r\non NT 4.0\r\n", LogText());
}
