#include "support/scratch_machine.h"

#include <cstdio>
#include <cstring>

#include "log/debug_log.h"
#include "platform/windows_version.h"

namespace {

std::string g_modulePath;
std::string g_systemDir;
std::string g_windowsDir;
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

UINT WINAPI FakeWindowsDirectory(LPSTR buffer, UINT size) { return CopyOut(g_windowsDir, buffer, size); }

LANGID WINAPI FakeLanguage() { return g_language; }

}  // namespace

void ScratchMachine::SetUp() {
    m_programDir = m_root.File("program");
    m_systemDir = m_root.File("system32");
    g_windowsDir = m_root.path();
    ASSERT_TRUE(::CreateDirectoryA(m_programDir.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(m_systemDir.c_str(), nullptr));
    g_modulePath = ProgramFile("QMXSET.EXE");
    g_systemDir = m_systemDir;
    g_language = 0x0409;
    m_guard.Set(&OsCalls::GetModuleFileNameA, &FakeModuleFileName);
    m_guard.Set(&OsCalls::GetSystemDirectoryA, &FakeSystemDirectory);
    // The store of kept copies and WININIT.INI are the scratch machine's too.
    m_guard.Set(&OsCalls::GetWindowsDirectoryA, &FakeWindowsDirectory);
    m_guard.Set(&OsCalls::GetUserDefaultLangID, &FakeLanguage);
    ClearLog();
    SetLogSwitch(0);
}

void ScratchMachine::TearDown() {
    SetLogSwitch(0);
    ClearLog();
}

void ScratchMachine::WriteChangeList(const std::string& text) {
    ASSERT_TRUE(WriteWholeFile(ProgramFile("QMX_CHG.DAT"), text));
}

void ScratchMachine::PutFile(const std::string& path, const std::string& content, int year) {
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

std::string ScratchMachine::Targeted(const std::string& files, const std::string& log) {
    return "[Install]\r\n" + MachinePattern() + "\r\n[File]\r\n" + files + "[Log]\r\n" + log + "\r\n";
}

std::string ScratchMachine::MachinePattern() {
    OSVERSIONINFOA version;
    ReportedVersion(&version);
    char pattern[64];
    std::snprintf(pattern, sizeof pattern, "%lu:%lu:%lu", version.dwPlatformId, version.dwMajorVersion,
                  version.dwMinorVersion);
    return pattern;
}

void ScratchMachine::UseLanguage(LANGID language) { g_language = language; }
