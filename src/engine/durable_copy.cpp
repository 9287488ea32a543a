#include "engine/durable_copy.h"

#include "engine/file_hash.h"
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

// The owner and DACL of dest, the module, on temp, as a replacement must keep
// them: a module locked down (or opened up) by its administrator stays so.
// The descriptor goes over as it is, with its control bits, so a DACL that
// inherits nothing from the folder still does not. The owner goes over where
// this process may give it away (an owner such as TrustedInstaller needs a
// privilege we do not take); the temporary file then keeps ours. Without the
// functions (95/98/Me), or on a volume that keeps no security (FAT), there is
// nothing to carry.
bool CopySecurity(const std::string& dest, const TempFile& temp, DWORD* error) {
    if (!g_os.GetSecurityInfo || !g_os.SetKernelObjectSecurity) return true;
    const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedFile module(g_os.CreateFileA(dest.c_str(), READ_CONTROL, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!module.IsValid()) return Failed(error);
    ScopedLocal descriptor;
    const DWORD status = g_os.GetSecurityInfo(
        module.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        nullptr, nullptr, nullptr, nullptr, descriptor.Receive());
    if (status == ERROR_NOT_SUPPORTED || status == ERROR_INVALID_FUNCTION ||
        status == ERROR_CALL_NOT_IMPLEMENTED) {
        return true;
    }
    if (status != ERROR_SUCCESS) {
        *error = status;
        return false;
    }
    // Not SetSecurityInfo: Wine's answers success on a file and changes
    // nothing, and on Windows it would rebuild the inherited entries that
    // the descriptor already holds.
    ScopedFile file(g_os.CreateFileA(temp.Path(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                     kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
    if (file.IsValid() &&
        g_os.SetKernelObjectSecurity(file.Get(),
                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                     descriptor.Get())) {
        return true;
    }
    // The owner could not be given away: the DACL alone.
    if (!file.IsValid()) {
        file.Reset(g_os.CreateFileA(temp.Path(), READ_CONTROL | WRITE_DAC, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file.IsValid() ||
        !g_os.SetKernelObjectSecurity(file.Get(), DACL_SECURITY_INFORMATION, descriptor.Get())) {
        return Failed(error);
    }
    return true;
}

// Whether digest, of a file read whole, is sealed: else false with ERROR_CRC.
bool IsSealed(const Sha256Digest& digest, const Sha256Digest& sealed, DWORD* error) {
    if (digest == sealed) return true;
    *error = ERROR_CRC;
    return false;
}

// The file just written, read back through its own handle from the start.
bool CopyHoldsSealedBytes(HANDLE file, const Sha256Digest& sealed, DWORD* error) {
    Sha256Digest digest;
    uint32_t failure = 0;
    if (g_os.SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return Failed(error);
    }
    if (HashOpenFile(file, &digest, &failure) != 1) {
        *error = failure;
        return false;
    }
    return IsSealed(digest, sealed, error);
}

// source's bytes and last-write time in temp (CopyFileA keeps the time), with
// the attributes and creation time of the installed module dest when there
// is one, on disk; on the NT family (withSecurity) also its owner and DACL,
// set last, so that a DACL that lets us write nothing more still lets us
// finish the file.
bool WriteFlushedCopy(const std::string& source, const TempFile& temp, const std::string& dest,
                      const WIN32_FIND_DATAA* installed, bool withSecurity, const Sha256Digest* sealed,
                      DWORD* error) {
    if (!g_os.CopyFileA(source.c_str(), temp.Path(), FALSE)) return Failed(error);
    // Also clears a read-only mark that the package's copy (from a CD, say)
    // would otherwise pass on, and which would refuse the flush.
    const DWORD kept = installed ? installed->dwFileAttributes & kKeptAttributes : 0;
    if (!g_os.SetFileAttributesA(temp.Path(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
        return Failed(error);
    }
    {
        // Read too when sealed: the copy is checked through this handle, with
        // nobody else able to open it meanwhile, and without opening it again.
        const DWORD access = sealed ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
        ScopedFile file(g_os.CreateFileA(temp.Path(), access, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) return Failed(error);
        if (installed &&
            !g_os.SetFileTime(file.Get(), &installed->ftCreationTime, nullptr, nullptr)) {
            return Failed(error);
        }
        if (!g_os.FlushFileBuffers(file.Get())) return Failed(error);
        // Read back before the module's DACL, which may keep us from reading it.
        if (sealed && !CopyHoldsSealedBytes(file.Get(), *sealed, error)) return false;
    }
    return !installed || !withSecurity || CopySecurity(dest, temp, error);
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

}  // namespace

bool FindFile(const std::string& path, WIN32_FIND_DATAA* data) {
    ScopedFind find(g_os.FindFirstFileA(path.c_str(), data));
    return find.IsValid();
}

bool HoldsSealedBytes(const std::string& path, const Sha256Digest& sealed, DWORD* error) {
    Sha256Digest digest;
    uint32_t failure = 0;
    if (HashFile(path, &digest, &failure) != 1) {
        *error = failure;
        return false;
    }
    return IsSealed(digest, sealed, error);
}

SwapResult ReplaceDurably(const std::string& source, const std::string& dest,
                          const std::string& folder, const WIN32_FIND_DATAA* installed,
                          DWORD* error, const Sha256Digest* sealed) {
    TempFile temp;
    if (!temp.Create(folder, error) ||
        !WriteFlushedCopy(source, temp, dest, installed, true, sealed, error)) {
        return SwapResult::kFailed;
    }
    // One rename: the module's name holds the old file or the new one at
    // every instant, through a crash or a power cut too. (ReplaceFileA moves
    // the module aside first, and a kill between its two renames left no
    // module at all.)
    if (!g_os.MoveFileExA(temp.Path(), dest.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return SwapFailed(dest, error);
    }
    temp.Keep();
    return SwapResult::kDone;
}

bool StageDurably(const std::string& source, const std::string& staging, const std::string& dest,
                  const std::string& folder, bool renameOver, DWORD* error,
                  const Sha256Digest* sealed) {
    WIN32_FIND_DATAA installed;
    const bool exists = FindFile(dest, &installed);
    TempFile temp;
    if (!temp.Create(folder, error) ||
        !WriteFlushedCopy(source, temp, dest, exists ? &installed : nullptr, renameOver, sealed,
                          error)) {
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
