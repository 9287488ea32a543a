#include "engine/local/install_environment.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "engine/restart/pending_operations.h"
#include "log/debug_log.h"
#include "platform/os_calls.h"
#include "platform/program_path.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

namespace {

const WORD kLangJapanese = 0x11;
const WORD kPrimaryLanguageMask = 0x3FF;

}  // namespace

void InstallEnvironment::Probe() {
    InitEnvironment();
    GetSystemDir();
    GetProgramDir();
    CheckLanguageEnv();
}

void InstallEnvironment::InitEnvironment() {
    m_machine.isAdmin = 0;
    if (CheckOsVersion() != 1) return;
    m_machine.isAdmin = m_machine.osClass == QMX_OS_WIN9X ? 1 : CheckAdministrator();
}

int InstallEnvironment::CheckOsVersion() {
    m_machine.platformId = 0;
    m_machine.majorVersion = 0;
    m_machine.minorVersion = 0;

    OSVERSIONINFOA info;
    if (!ReportedVersion(&info)) return 0;
    m_machine.platformId = info.dwPlatformId;
    m_machine.majorVersion = info.dwMajorVersion;
    m_machine.minorVersion = info.dwMinorVersion;
    const int32_t osClass = ClassifyWindows(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
    if (osClass == QMX_OS_NONE) return 0;
    m_machine.osClass = osClass;
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

std::string InstallEnvironment::GetSystemDir() {
    char buffer[MAX_PATH] = {};
    // A result of MAX_PATH or more is the size a longer folder would need;
    // the buffer then holds nothing.
    const UINT length = g_os.GetSystemDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return m_machine.systemDir;
    m_machine.systemDir = buffer;
    // Where the restart's names must point when Windows redirects it.
    m_machine.realSystemDir = RedirectedSystemFolder(m_machine.systemDir);
    return m_machine.systemDir;
}

std::string InstallEnvironment::GetProgramDir() {
    const std::string folder = ProgramFolder();
    if (!folder.empty()) m_machine.programDir = folder;
    return m_machine.programDir;
}

int InstallEnvironment::CheckLanguageEnv() {
    if ((g_os.GetUserDefaultLangID() & kPrimaryLanguageMask) == kLangJapanese) {
        DebugLog("CheckLanguageEnv : QMX_LANG_JAPANESE.\r\n");
        m_machine.language = QMX_LANG_JAPANESE;
    } else {
        DebugLog("CheckLanguageEnv : QMX_LANG_ENGLISH.\r\n");
        m_machine.language = QMX_LANG_ENGLISH;
    }
    return m_machine.language;
}
