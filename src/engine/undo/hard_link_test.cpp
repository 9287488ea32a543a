// A kept copy's link, made through the handle that read the module where the
// system allows, and by CreateHardLinkA otherwise: either way the same name
// for the same file, or the documented call's own refusal.
#include "engine/undo/hard_link.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/os_calls.h"
#include "support/temp_dir.h"

namespace {

int g_namedLinks = 0;

BOOL WINAPI CountNamedLinks(LPCSTR link, LPCSTR existing, LPSECURITY_ATTRIBUTES security) {
    ++g_namedLinks;
    return RealOsCalls().CreateHardLinkA(link, existing, security);
}

NTSTATUS NTAPI RefuseLink(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS) {
    return static_cast<NTSTATUS>(0xC0000022L);  // access denied
}

// How many names the file at path has: 0 when it cannot be opened.
DWORD NamesOf(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info = {};
    ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
    return info.nNumberOfLinks;
}

class HardLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CreateDirectoryA(m_dir.File("sub").c_str(), nullptr);
        ASSERT_TRUE(WriteWholeFile(Module(), "module bytes"));
        m_module = ::CreateFileA(Module().c_str(), READ_CONTROL | GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, m_module);
        g_namedLinks = 0;
    }
    void TearDown() override { ::CloseHandle(m_module); }
    std::string Module() const { return m_dir.File("MODULE.DLL"); }

    TempDir m_dir;
    HANDLE m_module = INVALID_HANDLE_VALUE;
};

}  // namespace

// Through the open handle when ntdll can and the name is one Win32 leaves as
// it is; else by name, which reads "..", "/" and a trailing dot its own way.
TEST_F(HardLinkTest, LinksThroughTheHandleOnlyWhereBothWaysNameTheSameFile) {
    const struct {
        const char* what;
        std::string link;   // as given
        std::string lands;  // where the link must be
        bool byHandle;
    } cases[] = {
        {"a plain path", m_dir.File("sub\\KEPT.1"), m_dir.File("sub\\KEPT.1"), true},
        {"a step back", m_dir.File("sub\\..\\sub\\KEPT.2"), m_dir.File("sub\\KEPT.2"), false},
        {"a forward slash", m_dir.File("sub/KEPT.3"), m_dir.File("sub\\KEPT.3"), false},
        {"a trailing dot", m_dir.File("sub\\KEPT.4."), m_dir.File("sub\\KEPT.4"), false},
    };
    for (const auto& c : cases) {
        OsCallsGuard guard;
        guard.Set(&OsCalls::CreateHardLinkA, &CountNamedLinks);
        g_namedLinks = 0;
        EXPECT_TRUE(LinkFile(c.link, Module(), m_module)) << c.what;
        EXPECT_EQ(c.byHandle ? 0 : 1, g_namedLinks) << c.what;
        EXPECT_EQ("module bytes", FileText(c.lands)) << c.what;
    }
    EXPECT_EQ(5u, NamesOf(Module()));
}

// Without ntdll's call, without a handle, or when the call refuses, the
// documented call makes the link; a name already taken is refused by both.
TEST_F(HardLinkTest, FallsBackToTheNamedCallAndKeepsItsRefusal) {
    const struct {
        const char* what;
        bool absent;
        bool refused;
        bool handle;
    } cases[] = {
        {"no ntdll call", true, false, true},
        {"refused", false, true, true},
        {"no handle", false, false, false},
    };
    int made = 0;
    for (const auto& c : cases) {
        OsCallsGuard guard;
        guard.Set(&OsCalls::CreateHardLinkA, &CountNamedLinks);
        if (c.absent) guard.MarkAbsent(&OsCalls::NtSetInformationFile);
        if (c.refused) guard.Set(&OsCalls::NtSetInformationFile, &RefuseLink);
        g_namedLinks = 0;
        const std::string link = m_dir.File("sub\\KEPT." + std::to_string(++made));
        EXPECT_TRUE(LinkFile(link, Module(), c.handle ? m_module : INVALID_HANDLE_VALUE)) << c.what;
        EXPECT_EQ(1, g_namedLinks) << c.what;
        EXPECT_EQ(2u + made - 1, NamesOf(link)) << c.what;
    }
    const std::string taken = m_dir.File("sub\\KEPT.1");
    EXPECT_FALSE(LinkFile(taken, Module(), m_module));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), ::GetLastError());
    EXPECT_EQ(4u, NamesOf(Module()));
}
