#include "app/installer_app.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/os_calls.h"
#include "ui/dialog_watcher.h"
#include "ui/install_fixture.h"

namespace {

// The application as started from an executable whose base name is name.
class NamedApp : public InstallerApp {
public:
    explicit NamedApp(const std::string& name, const std::string& commandLine = std::string())
        : InstallerApp(commandLine) {
        m_exeName = name;
    }
    using InstallerApp::MutexName;
    int ExitCode() const { return m_exitCode; }
};

// A mutex that no one but its creator may use, as one made by SYSTEM looks
// to a user: its DACL has no entry, so opening it by name is refused.
HANDLE CreateRefusingMutex(const std::string& name) {
    ACL acl;
    ::InitializeAcl(&acl, sizeof acl, ACL_REVISION);
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return ::CreateMutexA(&attributes, TRUE, name.c_str());
}

// Windows NT 4.0, as its GetVersionExA reports it.
BOOL WINAPI WindowsNt4(LPOSVERSIONINFOA info) {
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 1381;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

std::string UniqueName(const char* tag) {
    return std::string("QMXAPPTEST_") + tag + "_" + std::to_string(::GetCurrentProcessId());
}

HWND MinimisedWindow(const char* title) {
    HWND window = ::CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                    nullptr, nullptr, nullptr, nullptr);
    ::ShowWindow(window, SW_MINIMIZE);
    return window;
}

DWORD WINAPI TryToTake(LPVOID mutex) {
    const DWORD result = ::WaitForSingleObject(static_cast<HANDLE>(mutex), 0);
    if (result == WAIT_OBJECT_0) ::ReleaseMutex(static_cast<HANDLE>(mutex));
    return result;
}

// The wait result another thread gets on the named mutex right now.
DWORD WaitFromAnotherThread(HANDLE mutex) {
    HANDLE thread = ::CreateThread(nullptr, 0, &TryToTake, mutex, 0, nullptr);
    ::WaitForSingleObject(thread, INFINITE);
    DWORD result = 0;
    ::GetExitCodeThread(thread, &result);
    ::CloseHandle(thread);
    return result;
}

using InstallerAppTest = InstallFixture;

}  // namespace

TEST_F(InstallerAppTest, FirstStartRunsTheInstallationThenReleasesTheMutex) {
    const std::string name = UniqueName("first");
    NamedApp app(name);
    DialogWatcher watcher;
    EXPECT_FALSE(app.InitInstance());

    // No change list beside the program: nothing applies.
    ASSERT_EQ(1u, watcher.seen().size());
    EXPECT_EQ(ResourceText(109), watcher.seen()[0].messageText);

    // Released, but it still exists: a later start still counts as second.
    HANDLE again = ::CreateMutexA(nullptr, FALSE, app.MutexName().c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), ::GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitFromAnotherThread(again));
    ::CloseHandle(again);
}

// A second start shows nothing and leaves the first its mutex; it brings
// back the window marked with its name, if there is one.
TEST_F(InstallerAppTest, SecondStartRestoresTheWindowMarkedWithItsNameAndExits) {
    const std::string name = UniqueName("second");
    HANDLE first = ::CreateMutexA(nullptr, TRUE, NamedApp(name).MutexName().c_str());
    DialogWatcher watcher;
    EXPECT_FALSE(NamedApp(name).InitInstance());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitFromAnotherThread(first));

    HWND unmarked = MinimisedWindow("unmarked");
    HWND marked = MinimisedWindow("marked");
    ::SetPropA(marked, name.c_str(), reinterpret_cast<HANDLE>(1));
    EXPECT_FALSE(NamedApp(name).InitInstance());
    EXPECT_TRUE(watcher.seen().empty());
    EXPECT_FALSE(::IsIconic(marked));
    EXPECT_EQ(marked, ::GetForegroundWindow());
    EXPECT_TRUE(::IsIconic(unmarked));

    ::RemovePropA(marked, name.c_str());
    ::DestroyWindow(marked);
    ::DestroyWindow(unmarked);
    ::CloseHandle(first);
}

TEST_F(InstallerAppTest, OneCopyPerMachineFromWindows2000OnePerNameBefore) {
    const std::string name = UniqueName("machine");
    NamedApp app(name);
    // Wine reports a Windows after 2000.
    EXPECT_EQ("Global\\" + name, app.MutexName());
    {
        OsCallsGuard guard;
        guard.Set(&OsCalls::GetVersionExA, &WindowsNt4);
        EXPECT_EQ(name, app.MutexName());
        HANDLE first = ::CreateMutexA(nullptr, TRUE, name.c_str());
        NamedApp second(name, "/quiet");
        DialogWatcher watcher;
        EXPECT_FALSE(second.InitInstance());
        EXPECT_TRUE(watcher.seen().empty());
        EXPECT_EQ(1618, second.ExitCode());
        ::CloseHandle(first);
    }
}

TEST_F(InstallerAppTest, AMutexThisAccountMayNotOpenMeansAnotherCopyRuns) {
    const std::string name = UniqueName("refused");
    HANDLE first = CreateRefusingMutex(NamedApp(name).MutexName());
    ASSERT_NE(nullptr, first);
    // The premise: opening it by name is refused, as a user finds SYSTEM's.
    HANDLE probe = ::CreateMutexA(nullptr, FALSE, NamedApp(name).MutexName().c_str());
    ASSERT_EQ(nullptr, probe);
    ASSERT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());

    DialogWatcher watcher;
    NamedApp quiet(name, "/quiet");
    EXPECT_FALSE(quiet.InitInstance());
    EXPECT_EQ(1618, quiet.ExitCode());
    NamedApp shown(name);
    EXPECT_FALSE(shown.InitInstance());
    EXPECT_EQ(0, shown.ExitCode());
    // Neither ran an installation, so no message was shown.
    EXPECT_TRUE(watcher.seen().empty());
    ::CloseHandle(first);
}
