#include "engine/durable_copy.h"

#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

// The attributes a module keeps across its replacement. Read-only is not one
// of them: the temporary file must stay writable and removable, and a
// read-only module refuses the swap (access denied) as it refused the copy.
const DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A temporary file of its own in a folder, removed when this goes away unless
// its name has been handed on by a move.
class TempFile {
public:
    TempFile() = default;
    ~TempFile() {
        if (!m_path.empty()) g_os.DeleteFileA(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Create(const std::string& folder, DWORD* error) {
        // The documented limit for the folder: beyond it the call fails, and
        // Wine leaves a file behind under a name cut at MAX_PATH, which no
        // one would then remove.
        if (folder.size() > MAX_PATH - 14) {
            *error = ERROR_FILENAME_EXCED_RANGE;
            return false;
        }
        char path[MAX_PATH] = {};
        if (g_os.GetTempFileNameA(folder.c_str(), "QMX", 0, path) == 0) {
            *error = g_os.GetLastError();
            return false;
        }
        m_path = path;
        return true;
    }
    const char* Path() const { return m_path.c_str(); }
    // The name now belongs to another file, or must be kept whatever it holds.
    void Keep() { m_path.clear(); }

private:
    std::string m_path;
};

bool Failed(DWORD* error) {
    *error = g_os.GetLastError();
    return false;
}

// source's bytes and last-write time in temp (CopyFileA keeps the time), with
// the attributes and creation time of installed when there is one, on disk.
bool WriteFlushedCopy(const std::string& source, const TempFile& temp,
                      const WIN32_FIND_DATAA* installed, DWORD* error) {
    if (!g_os.CopyFileA(source.c_str(), temp.Path(), FALSE)) return Failed(error);
    // Also clears a read-only mark that the package's copy (from a CD, say)
    // would otherwise pass on, and which would refuse the flush.
    const DWORD kept = installed ? installed->dwFileAttributes & kKeptAttributes : 0;
    if (!g_os.SetFileAttributesA(temp.Path(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
        return Failed(error);
    }
    ScopedFile file(g_os.CreateFileA(temp.Path(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return Failed(error);
    if (installed && !g_os.SetFileTime(file.Get(), &installed->ftCreationTime, nullptr, nullptr)) {
        return Failed(error);
    }
    if (!g_os.FlushFileBuffers(file.Get())) return Failed(error);
    return true;
}

// Whether another process holds path so that it cannot be opened exclusively.
bool InUse(const std::string& path) {
    ScopedFile file(g_os.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.IsValid() && g_os.GetLastError() == ERROR_SHARING_VIOLATION;
}

// A swap that failed because dest was taken by another process is kBusy. A
// rename over a file held open fails with access denied, not a sharing
// violation (Windows and Wine alike), so a denied swap asks the file itself.
SwapResult SwapFailed(const std::string& dest, DWORD* error) {
    *error = g_os.GetLastError();
    if (*error == ERROR_SHARING_VIOLATION) return SwapResult::kBusy;
    return *error == ERROR_ACCESS_DENIED && InUse(dest) ? SwapResult::kBusy : SwapResult::kFailed;
}

// ReplaceFileA with a backup name: without one, a failure to move the new
// file in (1176) leaves the module deleted. With one, that failure (1177,
// and 1176 should it come anyway) leaves the module under the backup name,
// and it is renamed back.
SwapResult ReplaceWithBackup(TempFile& temp, const std::string& dest, const std::string& folder,
                             DWORD* error) {
    TempFile backup;
    if (!backup.Create(folder, error)) return SwapResult::kFailed;
    if (g_os.ReplaceFileA(dest.c_str(), temp.Path(), backup.Path(), 0, nullptr, nullptr)) {
        temp.Keep();
        // The old module: removed now, or at the next restart should
        // something still hold it.
        if (!g_os.DeleteFileA(backup.Path())) {
            g_os.MoveFileExA(backup.Path(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
        backup.Keep();
        return SwapResult::kDone;
    }
    const SwapResult result = SwapFailed(dest, error);
    if (*error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || *error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The backup may be the module itself now: never remove it.
        const std::string backupPath = backup.Path();
        backup.Keep();
        WIN32_FIND_DATAA data;
        if (!FindFile(dest, &data) &&
            !g_os.MoveFileExA(backupPath.c_str(), dest.c_str(), MOVEFILE_WRITE_THROUGH)) {
            // Whole under the backup name; the restart puts it back.
            g_os.MoveFileExA(backupPath.c_str(), dest.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    }
    return result;
}

}  // namespace

bool FindFile(const std::string& path, WIN32_FIND_DATAA* data) {
    ScopedFind find(g_os.FindFirstFileA(path.c_str(), data));
    return find.IsValid();
}

SwapResult ReplaceDurably(const std::string& source, const std::string& dest,
                          const std::string& folder, const WIN32_FIND_DATAA* installed,
                          DWORD* error) {
    TempFile temp;
    if (!temp.Create(folder, error) || !WriteFlushedCopy(source, temp, installed, error)) {
        return SwapResult::kFailed;
    }
    // ReplaceFileA needs a file to replace; one that vanished since the
    // probe is put back by the rename.
    if (installed && g_os.ReplaceFileA) return ReplaceWithBackup(temp, dest, folder, error);
    if (!g_os.MoveFileExA(temp.Path(), dest.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return SwapFailed(dest, error);
    }
    temp.Keep();
    return SwapResult::kDone;
}

bool StageDurably(const std::string& source, const std::string& staging, const std::string& dest,
                  const std::string& folder, bool renameOver, DWORD* error) {
    WIN32_FIND_DATAA installed;
    const bool exists = FindFile(dest, &installed);
    TempFile temp;
    if (!temp.Create(folder, error) ||
        !WriteFlushedCopy(source, temp, exists ? &installed : nullptr, error)) {
        return false;
    }
    if (renameOver) {
        if (!g_os.MoveFileExA(temp.Path(), staging.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return Failed(error);
        }
    } else {
        // Absent already, or in the way of the rename.
        g_os.DeleteFileA(staging.c_str());
        if (!g_os.MoveFileA(temp.Path(), staging.c_str())) return Failed(error);
    }
    temp.Keep();
    return true;
}
