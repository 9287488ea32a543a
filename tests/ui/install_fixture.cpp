#include "ui/install_fixture.h"

#include <cstdio>
#include <cstring>

#include "engine/local/install_environment.h"
#include "log/debug_log.h"
#include "platform/app_base.h"
#include "platform/dialog_base.h"
#include "platform/resource_string.h"

namespace {

std::string g_modulePath;
std::string g_systemDir;
LANGID g_language = 0x0409;

DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
    if (text.size() + 1 > size) return 0;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

DWORD WINAPI FakeModuleFileName(HMODULE, LPSTR buffer, DWORD size) {
    return CopyOut(g_modulePath, buffer, size);
}

UINT WINAPI FakeSystemDirectory(LPSTR buffer, UINT size) { return CopyOut(g_systemDir, buffer, size); }

LANGID WINAPI FakeLanguage() { return g_language; }

}  // namespace

void InstallFixture::SetUp() {
    m_programDir = m_root.File("program");
    m_systemDir = m_root.File("system32");
    ASSERT_TRUE(::CreateDirectoryA(m_programDir.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(m_systemDir.c_str(), nullptr));
    g_modulePath = ProgramFile("QMXSET.EXE");
    g_systemDir = m_systemDir;
    g_language = 0x0409;
    m_guard.Set(&OsCalls::GetModuleFileNameA, &FakeModuleFileName);
    m_guard.Set(&OsCalls::GetSystemDirectoryA, &FakeSystemDirectory);
    m_guard.Set(&OsCalls::GetUserDefaultLangID, &FakeLanguage);
    ClearLog();
    SetLogSwitch(0);
}

void InstallFixture::TearDown() {
    SetLogSwitch(0);
    ClearLog();
}

void InstallFixture::WriteChangeList(const std::string& text) {
    ASSERT_TRUE(WriteWholeFile(ProgramFile("QMX_CHG.DAT"), text));
}

void InstallFixture::PutFile(const std::string& path, const std::string& content, int year) {
    ASSERT_TRUE(WriteWholeFile(path, content));
    SYSTEMTIME when = {};
    when.wYear = static_cast<WORD>(year);
    when.wMonth = 6;
    when.wDay = 1;
    FILETIME time;
    ::SystemTimeToFileTime(&when, &time);
    HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ::SetFileTime(file, nullptr, nullptr, &time);
    ::CloseHandle(file);
}

std::string InstallFixture::MachinePattern() {
    InstallEnvironment environment;
    environment.InitEnvironment();
    char pattern[64];
    std::snprintf(pattern, sizeof pattern, "%u:%u:%u", environment.GetMachine().platformId,
                  environment.GetMachine().majorVersion, environment.GetMachine().minorVersion);
    return pattern;
}

void InstallFixture::UseLanguage(LANGID language) { g_language = language; }

std::vector<SeenDialog> InstallFixture::RunModal(DialogBase& dialog, INT_PTR* result) {
    DialogWatcher watcher;
    const INT_PTR ended = dialog.DoModal();
    if (result) *result = ended;
    EXPECT_FALSE(watcher.timedOut());
    return watcher.seen();
}

std::string ResourceText(UINT id) { return LoadResourceString(::GetModuleHandleA(nullptr), id); }
