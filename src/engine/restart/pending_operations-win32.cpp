#include <windows.h>

#include "platform/ansi_text.h"
#include "engine/restart/letter_shift.h"
#include "engine/restart/pending_operations.h"

#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

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
// short form of each.
void AddForms(const std::string& systemDir, const std::string& path, bool shortForms, std::string* forms) {
    forms[0] = path;
    forms[2] = RealSystemPath(systemDir, path);
    if (!shortForms) return;
    for (int i : {1, 3}) {
        char name[MAX_PATH + 1];
        const DWORD length = g_os.GetShortPathNameA(forms[i - 1].c_str(), name, sizeof name);
        if (length > 0 && length < sizeof name) forms[i].assign(name, length);
    }
}

// The move lists, or the [Rename] lines on 95/98/Me.
void ReadLists(bool wininit, MachinePending* pending) {
    if (wininit) {
        char folder[MAX_PATH + 1];
        const UINT length = g_os.GetWindowsDirectoryA(folder, sizeof folder);
        if (length == 0 || length >= sizeof folder) return;
        // The profile functions' own reading, as the one that writes our
        // entries: "key=value" lines, each NUL-ended, as big as 95 allows.
        const DWORD size = 32767;
        ScopedLocal buffer(g_os.LocalAlloc(LMEM_FIXED, size));
        if (!buffer.IsValid()) return;
        char* lines = static_cast<char*>(buffer.Get());
        const DWORD got = g_os.GetPrivateProfileSectionA("Rename", lines, size,
                                                         JoinPath(std::string(folder, length), "WININIT.INI").c_str());
        pending->renameLines.assign(lines, got < size ? got : size);
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

}  // namespace

MachinePending ReadMachinePending(const std::string& systemDir, const std::string& dest, bool wininit,
                                  PendingNames* names) {
    MachinePending pending;
    ReadLists(wininit, &pending);
    const bool shortForms = pending.MayUseShortNames();
    AddForms(systemDir, dest, shortForms, names->module);
    AddForms(systemDir, ShiftLastLetterOf(dest, 0), shortForms, names->staged);
    return pending;
}

bool IsSystemFolder(const std::string& folder) {
    char seen[MAX_PATH + 1];
    const UINT length = g_os.GetSystemDirectoryA(seen, sizeof seen);
    if (length == 0 || length >= sizeof seen) return false;
    const std::string given = JoinPath(folder, std::string());
    return EqualsIgnoringAsciiCase(given.data(), given.size(), JoinPath(std::string(seen, length), std::string()));
}

std::string RealSystemPath(const std::string& systemDir, const std::string& path) {
#if !defined(_WIN64)
    char seen[MAX_PATH + 1];
    char real[MAX_PATH + 1];
    const UINT seenLength = g_os.GetSystemDirectoryA(seen, sizeof seen);
    // Fails on 32-bit Windows (ERROR_CALL_NOT_IMPLEMENTED): nothing is redirected.
    const UINT realLength = g_os.GetSystemWow64DirectoryA ? g_os.GetSystemWow64DirectoryA(real, sizeof real) : 0;
    if (seenLength > 0 && seenLength < sizeof seen && realLength > 0 && realLength < sizeof real &&
        EqualsIgnoringAsciiCase(seen, seenLength, systemDir) && path.size() > seenLength && path[seenLength] == '\\' &&
        EqualsIgnoringAsciiCase(path.data(), seenLength, systemDir)) {
        return std::string(real, realLength).append(path, seenLength, std::string::npos);
    }
#else
    (void)systemDir;
#endif
    return path;
}
