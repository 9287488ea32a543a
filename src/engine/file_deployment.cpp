#include "engine/install_environment.h"

#include <cstring>

#include "engine/ansi_text.h"
#include "engine/durable_copy.h"
#include "engine/letter_shift.h"
#include "engine/pending_moves.h"
#include "engine/plain_file_name.h"
#include "engine/protected_module.h"
#include "log/debug_log.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

// The Windows directory is read into one byte more than MAX_PATH; a length of
// this size or more means the buffer was too small and holds nothing.
const UINT kWindowsDirBufferSize = MAX_PATH + 1;

std::string JoinPath(const std::string& folder, const std::string& name) {
    return EndsWithBackslash(folder) ? folder + name : folder + "\\" + name;
}

// Logs a failed step with the error it left (taken by the caller at the
// failing line) and the two paths it worked on; answers 0, "not done".
int LogFailedStep(const char* format, DWORD error, const std::string& from,
                  const std::string& to) {
    DebugLog(format, static_cast<int>(error), from.c_str(), to.c_str());
    return 0;
}

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The NT family's restart-time move list as its raw bytes; empty when there
// is none or it cannot be read, which at worst schedules a pair twice.
std::string ReadPendingMoves() {
    ScopedRegKey key;
    if (g_os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE,
                           key.Receive()) != ERROR_SUCCESS) {
        return std::string();
    }
    DWORD type = 0;
    DWORD size = 0;
    if (g_os.RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, &type, nullptr,
                              &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ || size == 0) {
        return std::string();
    }
    std::string list(size, '\0');
    if (g_os.RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, &type,
                              reinterpret_cast<BYTE*>(&list[0]), &size) != ERROR_SUCCESS) {
        return std::string();
    }
    list.resize(size < list.size() ? size : list.size());
    return list;
}

}  // namespace

uint32_t InstallEnvironment::CopyTargetFile(std::string fileName, std::string sourceDir) {
    const std::string sourceFolder = sourceDir.empty() ? m_programDir : sourceDir;
    const std::string sourcePath = JoinPath(sourceFolder, fileName);
    const std::string destPath = JoinPath(m_systemDir, fileName);

    if (m_isAdmin == 0) {
        DebugLog("CopyTargetFile - I'm not administrator.\r\n");
        return QMX_INST_NOT_ADMIN;
    }
    // A name with a folder, a drive or a device in it would reach outside the
    // system folder ("..\\" did): the package is broken, as when it lacks a
    // module it lists.
    if (!IsPlainFileName(fileName, &IsLeadByte)) {
        DebugLog("CopyTargetFile - Invalid file name %s.\r\n", fileName.c_str());
        return QMX_INST_NOT_APPLICABLE;
    }
    // Without the system folder the destination would be "\NAME", a file in
    // the root of the current drive: never probe, copy or schedule there.
    if (m_systemDir.empty()) {
        DebugLog("CopyTargetFile - GetSystemDirectory is failed. %s\r\n", fileName.c_str());
        return QMX_INST_FAILED;
    }
    // Only files already installed are updated; a missing one is never added.
    // What the search finds (attributes, creation time) carries over to the
    // replacement.
    WIN32_FIND_DATAA installed;
    if (!FindFile(destPath, &installed)) {
        DebugLog("CopyTargetFile - Not exist %s.\r\n", destPath.c_str());
        return QMX_INST_SKIPPED;
    }

    switch (CompareTimeStamp(sourcePath, destPath)) {
    case QMX_COMP_FILE1_IS_NEW:
        break;
    case QMX_COMP_FILE1_NOT_EXIST:
    case QMX_COMP_BOTH_NOT_EXIST:
        return QMX_INST_NOT_APPLICABLE;
    default:
        return QMX_INST_SKIPPED;
    }

    // --- Protected modules: asked only of a module that would change ---
    // Windows would put a protected module back, or refuse the swap: an
    // update reported as done would not hold. Neither replaced nor staged.
    if (IsProtectedByWindows(destPath)) {
        DebugLog("CopyTargetFile - Protected by Windows %s.\r\n", destPath.c_str());
        return QMX_INST_FAILED;
    }

    const int32_t lock = LockDestFile(destPath);
    if (lock == QMX_LOCK_SUCEES || lock == QMX_LOCK_NOTFOUND) {
        // NOTFOUND: the file vanished since the existence test; the
        // replacement puts it back.
        DWORD error = 0;
        const SwapResult replaced = ReplaceNow(
            sourcePath, destPath, lock == QMX_LOCK_SUCEES ? &installed : nullptr, &error);
        if (replaced == SwapResult::kDone) return QMX_INST_COPIED;
        if (replaced == SwapResult::kFailed) {
            LogFailedStep("CopyTargetFile - CopyFile is failed.(%d) %s -> %s\r\n", error,
                          sourcePath, destPath);
            return QMX_INST_FAILED;
        }
        // Taken by another process between the probe and the swap: as if
        // the probe had found it in use.
    } else if (lock != QMX_LOCK_INUSE) {
        // The probe could not tell (access denied and the like): nothing was
        // done, and saying "copied" would report a failure as success.
        return QMX_INST_FAILED;
    }
    return MoveOnReboot(m_systemDir, sourceFolder, fileName) == 1 ? QMX_INST_ON_REBOOT
                                                                  : QMX_INST_FAILED;
}

SwapResult InstallEnvironment::ReplaceNow(const std::string& sourcePath,
                                          const std::string& destPath,
                                          const WIN32_FIND_DATAA* installed, DWORD* error) {
    if (m_osClass != QMX_OS_WIN9X) {
        return ReplaceDurably(sourcePath, destPath, m_systemDir, installed, error);
    }
    // 95/98/Me can neither replace a file nor rename over one: the copy goes
    // onto the module itself, as it always has there.
    if (g_os.CopyFileA(sourcePath.c_str(), destPath.c_str(), FALSE)) return SwapResult::kDone;
    *error = g_os.GetLastError();
    return SwapResult::kFailed;
}

int32_t InstallEnvironment::LockDestFile(std::string path) {
    ScopedFile file(g_os.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.IsValid()) {
        DebugLog("LockDestFile : QMX_LOCK_SUCEES \"%s\".\r\n", path.c_str());
        return QMX_LOCK_SUCEES;
    }
    const DWORD error = g_os.GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        DebugLog("LockDestFile : QMX_LOCK_NOTFOUND \"%s\".\r\n", path.c_str());
        return QMX_LOCK_NOTFOUND;
    }
    if (error == ERROR_SHARING_VIOLATION) {
        DebugLog("LockDestFile : QMX_LOCK_INUSE \"%s\".\r\n", path.c_str());
        return QMX_LOCK_INUSE;
    }
    DebugLog("LockDestFile : QMX_LOCK_ERROR(%d) \"%s\".\r\n", static_cast<int>(error), path.c_str());
    return QMX_LOCK_ERROR;
}

int InstallEnvironment::MoveOnReboot(std::string destDir, std::string sourceDir,
                                     std::string fileName) {
    const std::string sourcePath = sourceDir + "\\" + fileName;
    const std::string destPath = destDir + "\\" + fileName;
    const std::string stagingPath = ShiftLastLetter(destPath, 0);

    // A name that does not end in a letter has no neighbouring name: copying
    // would overwrite the file in use, and on 95/98/Me a Rename entry naming
    // the same file twice deletes it at the next start.
    if (stagingPath == destPath) {
        DebugLog("MoveOnReboot - Cannot stage %s.\r\n", destPath.c_str());
        return 0;
    }

    switch (CompareTimeStamp(sourcePath, stagingPath)) {
    case QMX_COMP_FILE1_IS_NEW:
    case QMX_COMP_FILE2_NOT_EXIST:
        if (DWORD error = 0; !StageDurably(sourcePath, stagingPath, destPath, destDir,
                                            m_osClass != QMX_OS_WIN9X, &error)) {
            return LogFailedStep("MoveOnReboot - CopyFile is failed.(%d) %s -> %s\r\n", error,
                                 sourcePath, stagingPath);
        }
        break;
    case QMX_COMP_FILE2_IS_NEW:
    case QMX_COMP_SAME:
        // An earlier run staged this copy, or a newer one, and it still waits
        // for the restart: nothing has failed, so name it again.
        break;
    default:
        return 0;
    }

    return m_osClass == QMX_OS_WIN9X ? ScheduleRenameEntry(stagingPath, destPath)
                                     : ScheduleDelayedMove(stagingPath, destPath);
}

int InstallEnvironment::ScheduleDelayedMove(const std::string& stagingPath,
                                            const std::string& destPath) {
    // A second run before the restart finds its own pair already listed.
    if (PendingMovesHold(ReadPendingMoves(), stagingPath, destPath)) return 1;
    if (g_os.MoveFileExA(stagingPath.c_str(), destPath.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) == 1) {
        return 1;
    }
    return LogFailedStep("MoveOnReboot - MoveFileEx is failed.(%d) %s -> %s\r\n",
                         g_os.GetLastError(), stagingPath, destPath);
}

int InstallEnvironment::ScheduleRenameEntry(const std::string& stagingPath,
                                            const std::string& destPath) {
    char windowsDir[kWindowsDirBufferSize] = {};
    const UINT length = g_os.GetWindowsDirectoryA(windowsDir, kWindowsDirBufferSize);
    if (length == 0 || length >= kWindowsDirBufferSize) {
        // A too-small buffer sets no error of its own; name the reason.
        const DWORD error = length == 0 ? g_os.GetLastError() : ERROR_INSUFFICIENT_BUFFER;
        DebugLog("MoveOnReboot - GetWindowsDirectory is failed.(%d) %s\r\n",
                 static_cast<int>(error), stagingPath.c_str());
        return 0;
    }
    const std::string profilePath = std::string(windowsDir) + "\\WININIT.INI";

    // The key must be the installed module's own short name. Deriving it from
    // the staged copy's short name names another module whenever the two
    // short names do not share their stem (LONGMO~2.DLL staged as
    // LONGMO~1.DLM), and at the next start that module would be overwritten.
    const std::string shortStaging = GetShortPathNameCS(stagingPath);
    if (shortStaging.empty()) {
        DebugLog("MoveOnReboot - GetShortPathNameCS is failed. %s\r\n", stagingPath.c_str());
        return 0;
    }
    const std::string key = GetShortPathNameCS(destPath);
    if (key.empty()) {
        DebugLog("MoveOnReboot - GetShortPathNameCS is failed. %s\r\n", destPath.c_str());
        return 0;
    }
    // An entry naming one file twice deletes it at the next start.
    if (key == shortStaging) {
        DebugLog("MoveOnReboot - Cannot stage %s.\r\n", shortStaging.c_str());
        return 0;
    }

    if (g_os.WritePrivateProfileStringA("Rename", key.c_str(), shortStaging.c_str(),
                                        profilePath.c_str()) == 1) {
        return 1;
    }
    return LogFailedStep("MoveOnReboot - WritePrivateProfileString is failed.(%d) %s -> %s\r\n",
                         g_os.GetLastError(), key, shortStaging);
}

std::string InstallEnvironment::ShiftLastLetter(std::string path, int backward) {
    return ShiftLastLetterOf(path, backward);
}

std::string InstallEnvironment::GetShortPathNameCS(std::string path) {
    const DWORD size = static_cast<DWORD>(path.size() + 1);
    ScopedLocal buffer(g_os.LocalAlloc(LMEM_FIXED, size));
    if (!buffer.IsValid()) return std::string();
    char* text = static_cast<char*>(buffer.Get());
    text[0] = '\0';
    // Too small a buffer returns the size needed, which is never below it.
    const DWORD length = g_os.GetShortPathNameA(path.c_str(), text, size);
    if (length == 0 || length >= size) return std::string();
    return std::string(text, ::strnlen(text, length));
}

int InstallEnvironment::FileExists(std::string path) {
    WIN32_FIND_DATAA data;
    return FindFile(path, &data) ? 1 : 0;
}
