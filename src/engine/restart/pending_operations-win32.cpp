#include <windows.h>

#include "engine/restart/letter_shift.h"
#include "engine/restart/pending_operations.h"
#include "engine/restart/restart_schedule.h"
#include "platform/ansi_text.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"
#include "platform/windows_folder.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The value's bytes; empty when there is none or it cannot be read.
std::string ReadMoves(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (g_os.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ || size == 0) {
        return std::string();
    }
    std::string bytes(size, '\0');
    if (g_os.RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size) !=
        ERROR_SUCCESS) {
        return std::string();
    }
    bytes.resize(size < bytes.size() ? size : bytes.size());
    return bytes;
}

// path, where the program sees it and where it is; with shortForms also the
// short form of each, looked up as the staging names them.
PendingForms FormsOf(const Machine& machine, const std::string& path, bool shortForms) {
    PendingForms forms;
    forms.seen = path;
    forms.real = RealSystemPath(machine, path);
    if (shortForms) {
        forms.seenShort = ShortPathOf(forms.seen);
        forms.realShort = ShortPathOf(forms.real);
    }
    return forms;
}

// WININIT.INI's [Rename] lines, each NUL-ended, as the profile functions that
// write our entries read them, as many as 95 allows.
std::string ReadRenameLines() {
    uint32_t error = 0;
    const std::string profile = RenameListPath(&error);
    const DWORD size = 32767;
    ScopedLocal buffer(g_os.LocalAlloc(LMEM_FIXED, size));
    if (profile.empty() || !buffer.IsValid()) return std::string();
    char* lines = static_cast<char*>(buffer.Get());
    const DWORD got = g_os.GetPrivateProfileSectionA("Rename", lines, size, profile.c_str());
    return std::string(lines, got < size ? got : size);
}

// The move lists, or the [Rename] lines on 95/98/Me.
void ReadLists(bool wininit, MachinePending* pending) {
    if (wininit) {
        pending->renameLines = ReadRenameLines();
        return;
    }
    ScopedRegKey key;
    if (g_os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS) {
        return;
    }
    pending->moves[0] = ReadMoves(key.Get(), "PendingFileRenameOperations");
    pending->moves[1] = ReadMoves(key.Get(), "PendingFileRenameOperations2");
}

// The system folder as the program sees it; "" when it cannot be read whole.
std::string SeenSystemFolder() {
    char seen[MAX_PATH + 1];
    const UINT length = g_os.GetSystemDirectoryA(seen, sizeof seen);
    return length == 0 || length >= sizeof seen ? std::string() : std::string(seen, length);
}

}  // namespace

MachinePending ReadMachinePending(const Machine& machine) {
    MachinePending pending;
    ReadLists(machine.osClass == QMX_OS_WIN9X, &pending);
    return pending;
}

PendingNames PendingNamesOf(const Machine& machine, const MachinePending& pending, const std::string& dest) {
    const bool shortForms = pending.MayUseShortNames();
    return PendingNames{FormsOf(machine, dest, shortForms), FormsOf(machine, ShiftLastLetterOf(dest, 0), shortForms)};
}

bool IsSystemFolder(const std::string& folder) {
    const std::string seen = SeenSystemFolder();
    return !seen.empty() && EqualsIgnoringAsciiCase(JoinPath(folder, std::string()), JoinPath(seen, std::string()));
}

std::string RedirectedSystemFolder(const std::string& systemDir) {
#if !defined(_WIN64)
    char real[MAX_PATH + 1];
    // Fails on 32-bit Windows (ERROR_CALL_NOT_IMPLEMENTED): nothing is redirected.
    const UINT length = g_os.GetSystemWow64DirectoryA ? g_os.GetSystemWow64DirectoryA(real, sizeof real) : 0;
    const std::string seen = SeenSystemFolder();
    if (length > 0 && length < sizeof real && !seen.empty() && EqualsIgnoringAsciiCase(seen, systemDir)) {
        return std::string(real, length);
    }
#else
    (void)systemDir;
#endif
    return std::string();
}

std::string RealSystemPath(const Machine& machine, const std::string& path) {
    const std::string& seen = machine.systemDir;
    if (machine.realSystemDir.empty() || path.size() <= seen.size() || path[seen.size()] != '\\' ||
        !EqualsIgnoringAsciiCase(path.data(), seen.size(), seen)) {
        return path;
    }
    return machine.realSystemDir + path.substr(seen.size());
}

std::string RenameListPath(uint32_t* error) {
    const std::string windows = WindowsFolder(error);
    return windows.empty() ? std::string() : JoinPath(windows, "WININIT.INI");
}
