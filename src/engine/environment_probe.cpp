#include <algorithm>
#include <cstddef>
#include <string>

#include "engine/ansi_text.h"
#include "engine/install_environment.h"
#include "log/debug_log.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

const WORD kLangJapanese = 0x11;
const WORD kPrimaryLanguageMask = 0x3FF;

// _splitpath's limits: a drive of "X:" and a folder of 255 characters.
const size_t kMaxDriveLength = 2;
const size_t kMaxFolderLength = 255;

static_assert(sizeof(OSVERSIONINFOA) == 148, "the basic version record, not the extended one");

// Drive and folder of a full file path, as _splitpath splits them, less one
// trailing backslash: "C:\APP\X.EXE" gives "C:\APP", "C:\X.EXE" gives "C:".
std::string FolderOfFile(const std::string& path) {
    const size_t folderStart = path.size() >= 2 && path[1] == ':' ? kMaxDriveLength : 0;
    size_t folderEnd = folderStart;  // one past the last separator
    for (size_t i = folderStart; i < path.size(); i = NextCharacter(path, i)) {
        if (path[i] == '\\' || path[i] == '/') folderEnd = i + 1;
    }
    std::string result = path.substr(0, folderStart) +
                         path.substr(folderStart, std::min(folderEnd - folderStart, kMaxFolderLength));
    if (EndsWithBackslash(result)) result.pop_back();
    return result;
}

}  // namespace

void InstallEnvironment::InitEnvironment() {
    m_isAdmin = 0;
    if (CheckOsVersion() != 1) return;
    m_isAdmin = m_osClass == QMX_OS_WIN9X ? 1 : CheckAdministrator();
}

int InstallEnvironment::CheckOsVersion() {
    m_platformId = 0;
    m_majorVersion = 0;
    m_minorVersion = 0;

    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!g_os.GetVersionExA(&info)) return 0;
    m_platformId = info.dwPlatformId;
    m_majorVersion = info.dwMajorVersion;
    m_minorVersion = info.dwMinorVersion;

    if (m_platformId == VER_PLATFORM_WIN32_WINDOWS) {
        m_osClass = QMX_OS_WIN9X;
        return 1;
    }
    if (m_platformId != VER_PLATFORM_WIN32_NT) return 0;
    if (m_majorVersion >= 5) {
        m_osClass = QMX_OS_NT5_OR_LATER;
    } else if (m_majorVersion == 4) {
        m_osClass = QMX_OS_NT4;
    } else if (m_majorVersion == 3 && m_minorVersion >= 51) {
        m_osClass = QMX_OS_NT351;
    } else {
        return 0;
    }
    return 1;
}

int InstallEnvironment::CheckAdministrator() {
    // An impersonating thread is judged by the user it acts for; only a
    // thread without a token of its own falls back to the process token.
    ScopedKernelHandle token;
    HANDLE opened = nullptr;
    if (g_os.OpenThreadToken(g_os.GetCurrentThread(), TOKEN_QUERY, TRUE, &opened)) {
        token.Reset(opened);
    } else {
        if (g_os.GetLastError() != ERROR_NO_TOKEN) return 0;
        opened = nullptr;
        if (!g_os.OpenProcessToken(g_os.GetCurrentProcess(), TOKEN_QUERY, &opened)) return 0;
        token.Reset(opened);
    }

    DWORD needed = 0;
    if (g_os.GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &needed)) return 0;
    if (g_os.GetLastError() != ERROR_INSUFFICIENT_BUFFER) return 0;

    ScopedLocal buffer(g_os.LocalAlloc(LMEM_FIXED, needed));
    if (!buffer.IsValid()) return 0;
    DWORD filled = 0;
    if (!g_os.GetTokenInformation(token.Get(), TokenGroups, buffer.Get(), needed, &filled)) return 0;
    token.Reset();
    // The walk never reads beyond the buffer, whatever count it holds.
    const TOKEN_GROUPS* groups = static_cast<const TOKEN_GROUPS*>(buffer.Get());
    const DWORD header = offsetof(TOKEN_GROUPS, Groups);
    const DWORD room = needed > header ? (needed - header) / sizeof(SID_AND_ATTRIBUTES) : 0;
    const DWORD count = needed >= sizeof(DWORD) ? std::min<DWORD>(groups->GroupCount, room) : 0;

    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID sid = nullptr;
    if (!g_os.AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                       DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid)) {
        return 0;
    }
    ScopedSid administrators(sid);

    // Listed is enough: a deny-only Administrators entry still marks a
    // member whose rights are merely filtered.
    for (DWORD i = 0; i < count; ++i) {
        if (g_os.EqualSid(groups->Groups[i].Sid, administrators.Get()) == TRUE) return 1;
    }
    return 0;
}

void InstallEnvironment::GetSystemDir() {
    char buffer[MAX_PATH] = {};
    // A result of MAX_PATH or more is the size a longer folder would need;
    // the buffer then holds nothing.
    const UINT length = g_os.GetSystemDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    m_systemDir = buffer;
}

void InstallEnvironment::GetProgramDir() {
    char path[MAX_PATH + 1] = {};
    // A full buffer means the path was cut (and, before Vista, left without
    // its terminator): its folder would be wrong, so it counts as a failure.
    const DWORD length = g_os.GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    m_programDir = FolderOfFile(path);
}

int InstallEnvironment::CheckLanguageEnv() {
    if ((g_os.GetUserDefaultLangID() & kPrimaryLanguageMask) == kLangJapanese) {
        DebugLog("CheckLanguageEnv : QMX_LANG_JAPANESE.\r\n");
        m_language = QMX_LANG_JAPANESE;
    } else {
        DebugLog("CheckLanguageEnv : QMX_LANG_ENGLISH.\r\n");
        m_language = QMX_LANG_ENGLISH;
    }
    return m_language;
}

int InstallEnvironment::HaveAuthority() {
    if (m_isAdmin == 0) DebugLog("HaveAuthority - I'm not administrator.\r\n");
    return m_isAdmin;
}
