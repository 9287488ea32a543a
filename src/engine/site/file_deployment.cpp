#include "engine/site/file_deployment.h"

#include <cstring>
#include <utility>

#include "platform/text_case.h"
#include "platform/ansi_text.h"
#include "engine/swap/durable_copy.h"
#include "engine/seal/file_hash.h"
#include "engine/restart/letter_shift.h"
#include "engine/restart/pending_operations.h"
#include "engine/run/plain_file_name.h"
#include "engine/site/protected_module.h"
#include "engine/restart/restart_manager.h"
#include "engine/undo/undo_decision.h"
#include "log/debug_log.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

// The Windows directory is read into one byte more than MAX_PATH; a length of
// this size or more means the buffer was too small and holds nothing.
const UINT kWindowsDirBufferSize = MAX_PATH + 1;

// Logs a failed step with the error it left (taken by the caller at the
// failing line) and the two paths it worked on; answers 0, "not done".
int LogFailedStep(const char* format, DWORD error, const std::string& from,
                  const std::string& to) {
    DebugLog(format, static_cast<int>(error), from.c_str(), to.c_str());
    return 0;
}

}  // namespace

FileDeployment::FileDeployment(const Machine& machine, const std::string& sourceDir, const std::string& storeDir)
    : m_machine(machine), m_sourceDir(sourceDir), m_store(machine, storeDir) {}

ModuleResult FileDeployment::Deploy(const std::string& fileName, const Machine& machine) {
    return DeployModule(fileName, machine, *this);
}

ModuleResult FileDeployment::Undo(const std::string& fileName, const Machine& machine, bool staged) {
    return UndoModule(fileName, machine, *this, staged);
}

void FileDeployment::EndRun() {
    m_store.Close();
    m_protection.Release();
}

std::string FileDeployment::PackagePath(const std::string& name) const {
    return JoinPath(m_sourceDir.empty() ? m_machine.programDir : m_sourceDir, name);
}

std::string FileDeployment::InstalledPath(const std::string& name) const {
    return JoinPath(m_machine.systemDir, name);
}

bool FileDeployment::IsPlainName(const std::string& name) const {
    return IsPlainFileName(name);
}

int32_t FileDeployment::CompareTimeStamp(const std::string& file1, const std::string& file2) {
    return m_compare.CompareTimeStamp(file1, file2);
}

bool FileDeployment::IsProtected(const std::string& path) { return m_protection.IsProtected(path); }

PendingKind FileDeployment::PendingFor(const std::string& fileName) {
    const std::string dest = InstalledPath(fileName);
    // Under either folder: the other programs' entries, and ours, name the
    // folder as whoever wrote them saw it.
    PendingNames names;
    const MachinePending pending =
        ReadMachinePending(m_machine.systemDir, dest, m_machine.osClass == QMX_OS_WIN9X, &names);
    PendingCheck check(names);
    pending.AddTo(&check);
    m_oursPending = check.Kind() == PendingKind::kOurs ? dest : std::string();
    return check.Kind();
}

void FileDeployment::NoteInUse(const std::string& path) { LogModuleHolders(RealSystemPath(m_machine.systemDir, path)); }

SwapResult FileDeployment::ReplaceNow(const std::string& fileName, const std::string& source,
                                      const std::string& dest, bool stillThere, uint32_t* error) {
    // The digest the package's seal vouched for, when it has one: the bytes
    // that go in must be those, whatever happened to the file since.
    const Sha256Digest* sealed = m_vouched.Find(fileName);
    // What the search finds (attributes, creation time) carries over to the
    // replacement, and is what is kept: the existence test's search found it.
    const bool found = stillThere && m_lastFoundPath == dest;
    DWORD failure = 0;
    SwapResult result = SwapResult::kFailed;
    if (m_machine.osClass != QMX_OS_WIN9X) {
        PreparedCopy copy;
        if (copy.Write(source, m_machine.systemDir, found ? &m_lastFound : nullptr, dest, true, sealed,
                       &failure, found)) {
            if (found && !KeepInstalled(fileName, dest, m_lastFound, copy.Digest(), copy.LikeDigest(), copy.LikeFile())) {
                return SwapResult::kNotKept;
            }
            result = copy.SwapInto(dest, &failure);
            if (found && result != SwapResult::kDone) m_store.Forget(fileName, copy.Digest());
        }
    } else {
        // 95/98/Me can neither replace a file nor rename over one: the copy
        // goes onto the module itself, as it always has there, with no copy
        // of ours to check first: the package's file is checked just before.
        Sha256Digest incoming = sealed ? *sealed : Sha256Digest();
        uint32_t hashFailure = 0;
        const bool ready = sealed ? HoldsSealedBytes(source, *sealed, &failure)
                                  : HashFile(source, &incoming, &hashFailure) == 1;
        if (!sealed) failure = hashFailure;
        if (ready) {
            if (found && !KeepInstalled(fileName, dest, m_lastFound, incoming)) return SwapResult::kNotKept;
            if (g_os.CopyFileA(source.c_str(), dest.c_str(), FALSE)) {
                result = SwapResult::kDone;
            } else {
                failure = g_os.GetLastError();
                if (found) m_store.Forget(fileName, incoming);
            }
        }
    }
    *error = failure;
    return result;
}

int FileDeployment::WriteStagedCopy(const std::string& fileName, const std::string& source,
                                    const std::string& staging, const std::string& dest,
                                    uint32_t* error) {
    // The staged copy takes the module's attributes, creation time and (NT
    // family, whose restart-time rename keeps them) owner and DACL.
    const bool nt = m_machine.osClass != QMX_OS_WIN9X;
    WIN32_FIND_DATAA installed;
    const bool exists = FindFile(dest, &installed);
    DWORD failure = 0;
    PreparedCopy copy;
    if (copy.Write(source, m_machine.systemDir, exists ? &installed : nullptr, dest, nt,
                   m_vouched.Find(fileName), &failure, exists)) {
        // Kept before it is scheduled: the restart takes the module's name
        // from its bytes.
        if (exists && !KeepInstalled(fileName, dest, installed, copy.Digest(), copy.LikeDigest(), copy.LikeFile())) return -1;
        if (copy.MoveTo(staging, nt, &failure)) return 1;
        if (exists) m_store.Forget(fileName, copy.Digest());
    }
    *error = failure;
    return 0;
}

bool FileDeployment::KeepInstalled(const std::string& fileName, const std::string& module,
                                   const WIN32_FIND_DATAA& found, const Sha256Digest& incoming,
                                   const Sha256Digest* moduleDigest, HANDLE moduleFile) {
    DWORD error = 0;
    if (m_store.Keep(fileName, module, found, incoming, &error, moduleDigest, moduleFile)) return true;
    DebugLog("CopyTargetFile - Cannot keep %s.(%d)\r\n", module.c_str(), static_cast<int>(error));
    return false;
}

int FileDeployment::PackageDigest(const std::string& fileName, Sha256Digest* digest, uint32_t* error) {
    if (const Sha256Digest* sealed = m_vouched.Find(fileName)) {
        *digest = *sealed;
        return 1;
    }
    return HashFile(PackagePath(fileName), digest, error);
}

int FileDeployment::InstalledDigest(const std::string& path, Sha256Digest* digest, uint32_t* error) {
    return HashFile(path, digest, error);
}

int FileDeployment::FindKept(const std::string& fileName, const Sha256Digest& incoming, std::string* kept,
                             Sha256Digest* keptDigest, uint32_t* error) {
    DWORD failure = 0;
    const int found = m_store.Find(fileName, incoming, kept, keptDigest, &failure);
    *error = failure;
    return found;
}

SwapResult FileDeployment::RestoreNow(const std::string& kept, const Sha256Digest& keptDigest,
                                      const std::string& dest, uint32_t* error) {
    WIN32_FIND_DATAA like;
    if (!FindFile(kept, &like)) {
        *error = ERROR_FILE_NOT_FOUND;
        return SwapResult::kFailed;
    }
    DWORD failure = 0;
    SwapResult result = SwapResult::kFailed;
    if (m_machine.osClass != QMX_OS_WIN9X) {
        // The kept copy's own time, attributes, owner and DACL go back with it.
        PreparedCopy copy;
        if (copy.Write(kept, m_machine.systemDir, &like, kept, true, &keptDigest, &failure)) {
            result = copy.SwapInto(dest, &failure);
        }
    } else if (HoldsSealedBytes(kept, keptDigest, &failure)) {
        if (g_os.CopyFileA(kept.c_str(), dest.c_str(), FALSE)) {
            result = SwapResult::kDone;
        } else {
            failure = g_os.GetLastError();
        }
    }
    *error = failure;
    return result;
}

int FileDeployment::StageKept(const std::string& kept, const Sha256Digest& keptDigest,
                              const std::string& staging, const std::string&, uint32_t* error) {
    const bool nt = m_machine.osClass != QMX_OS_WIN9X;
    DWORD failure = ERROR_FILE_NOT_FOUND;
    WIN32_FIND_DATAA like;
    PreparedCopy copy;
    const bool staged = FindFile(kept, &like) &&
                        copy.Write(kept, m_machine.systemDir, &like, kept, nt, &keptDigest, &failure) &&
                        copy.MoveTo(staging, nt, &failure);
    *error = failure;
    return staged ? 1 : 0;
}

void FileDeployment::ForgetKept(const std::string& fileName, const Sha256Digest& incoming) {
    m_store.Forget(fileName, incoming);
}

int FileDeployment::ScheduleReplacement(const std::string& staging, const std::string& dest) {
    // A second run before the restart finds its own pair already listed: it
    // stays there once, as it was.
    if (dest == m_oursPending) return 1;
    return m_machine.osClass == QMX_OS_WIN9X ? ScheduleRenameEntry(staging, dest)
                                             : ScheduleDelayedMove(staging, dest);
}

int FileDeployment::VerifyPackage(const FileList& files) {
    return ::VerifyPackage(m_sourceDir.empty() ? m_machine.programDir : m_sourceDir, files, &m_vouched);
}

int32_t FileDeployment::LockDestFile(const std::string& path) {
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

int FileDeployment::ScheduleDelayedMove(const std::string& stagingPath,
                                            const std::string& destPath) {
    // Named in the folder that really holds them: the restart's 64-bit
    // Session Manager does not see system32 as the 32-bit program does, and
    // Windows has recorded a 32-bit program's names without mapping them.
    const std::string staging = RealSystemPath(m_machine.systemDir, stagingPath);
    const std::string dest = RealSystemPath(m_machine.systemDir, destPath);
    if (g_os.MoveFileExA(staging.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) ==
        1) {
        return 1;
    }
    return LogFailedStep("MoveOnReboot - MoveFileEx is failed.(%d) %s -> %s\r\n", g_os.GetLastError(),
                         stagingPath, destPath);
}

int FileDeployment::ScheduleRenameEntry(const std::string& stagingPath,
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
    const std::string profilePath = JoinPath(windowsDir, "WININIT.INI");

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

std::string FileDeployment::GetShortPathNameCS(const std::string& path) {
    // Asked for the size it needs first: a short name can be longer than the
    // long one ("MY MOD.DLL" is "MYMOD~1.DLL"), so the long path's length
    // would be too small a buffer.
    const DWORD needed = g_os.GetShortPathNameA(path.c_str(), nullptr, 0);
    if (needed == 0) return std::string();
    ScopedLocal buffer(g_os.LocalAlloc(LMEM_FIXED, needed));
    if (!buffer.IsValid()) return std::string();
    char* text = static_cast<char*>(buffer.Get());
    text[0] = '\0';
    // A size returned that is not below the buffer's means the name grew
    // meanwhile: nothing usable was written.
    const DWORD length = g_os.GetShortPathNameA(path.c_str(), text, needed);
    if (length == 0 || length >= needed) return std::string();
    return std::string(text, ::strnlen(text, length));
}

int FileDeployment::FileExists(const std::string& path) {
    m_lastFoundPath.clear();
    if (!FindFile(path, &m_lastFound)) return 0;
    m_lastFoundPath = path;
    return 1;
}
