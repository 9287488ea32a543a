#include "engine/swap/durable_copy.h"

#include "engine/seal/file_hash.h"
#include "platform/file_basic_information.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

// The attributes a module keeps across its replacement. Read-only is not one
// of them: the temporary file must stay writable and removable, and a
// read-only module refuses the swap (access denied) as it refused the copy.
const DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The documented limit for GetTempFileNameA's folder: beyond it the call
// fails, and Wine leaves a file behind under a name cut at MAX_PATH, which
// no one would then remove.
const size_t kTempFolderLimit = MAX_PATH - 14;

bool Failed(DWORD* error) {
    *error = g_os.GetLastError();
    return false;
}

// Whether path could be read whole into digest.
bool HashInto(const std::string& path, Sha256Digest* digest) {
    uint32_t failure = 0;
    return HashFile(path, digest, &failure) == 1;
}

// The owner and DACL of dest, the module, on temp, as a replacement must keep
// them: a module locked down (or opened up) by its administrator stays so.
// The descriptor goes over as it is, with its control bits, so a DACL that
// inherits nothing from the folder still does not. The owner goes over where
// this process may give it away (an owner such as TrustedInstaller needs a
// privilege we do not take); the temporary file then keeps ours. Without the
// functions (95/98/Me), or on a volume that keeps no security (FAT), there is
// nothing to carry.
//
// With destDigest, dest's own bytes are hashed into it through the same
// handle, so that a module about to be kept is opened once, not twice;
// *destHashed says whether they were, and the handle stays open in held, for
// the keeping to link. A module that cannot be read so is left to the
// keeping, which reads it again and says why it cannot.
bool CopySecurity(const std::string& dest, const std::string& temp, Sha256Digest* destDigest, bool* destHashed,
                  ScopedFile* held, DWORD* error) {
    if (!g_os.GetSecurityInfo || !g_os.SetKernelObjectSecurity) {
        if (destDigest) *destHashed = HashInto(dest, destDigest);
        return true;
    }
    const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (destDigest) {
        held->Reset(g_os.CreateFileA(dest.c_str(), READ_CONTROL | GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        uint32_t failure = 0;
        *destHashed = held->IsValid() && HashOpenFile(held->Get(), destDigest, &failure) == 1;
        if (!*destHashed) held->Reset();
    }
    // Only a handle that read the bytes is held for the link; any other is
    // ours alone and closed here.
    ScopedFile own;
    if (!destDigest || !*destHashed) {
        own.Reset(g_os.CreateFileA(dest.c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!own.IsValid()) return Failed(error);
    }
    ScopedLocal descriptor;
    const DWORD status = g_os.GetSecurityInfo(
        own.IsValid() ? own.Get() : held->Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
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
    ScopedFile file(g_os.CreateFileA(temp.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
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
        file.Reset(g_os.CreateFileA(temp.c_str(), READ_CONTROL | WRITE_DAC, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file.IsValid() ||
        !g_os.SetKernelObjectSecurity(file.Get(), DACL_SECURITY_INFORMATION, descriptor.Get())) {
        return Failed(error);
    }
    return true;
}

HANDLE OpenWritable(const std::string& path) {
    return g_os.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The attributes and creation time in one call through the handle the copy
// is flushed by: by path they cost two opens more for each replaced module.
// False where ntdll offers no such call (95/98/Me) or it refuses: the caller
// then takes the path's way, whose failures it can name.
bool SetBasicInformation(HANDLE file, DWORD attributes, const FILETIME* created) {
    if (!g_os.NtSetInformationFile) return false;
    BasicFileInformation info = {};
    if (created) {
        info.creationTime.LowPart = created->dwLowDateTime;
        info.creationTime.HighPart = static_cast<LONG>(created->dwHighDateTime);
    }
    info.fileAttributes = attributes;
    IO_STATUS_BLOCK status = {};
    return g_os.NtSetInformationFile(file, &status, &info, sizeof info, kFileBasicInformation) >= 0;
}

// Whether digest, of a file read whole, is sealed: else false with ERROR_CRC.
bool IsSealed(const Sha256Digest& digest, const Sha256Digest& sealed, DWORD* error) {
    if (digest == sealed) return true;
    *error = ERROR_CRC;
    return false;
}

// The file just written, read back through its own handle from the start.
bool HashWritten(HANDLE file, Sha256Digest* digest, DWORD* error) {
    uint32_t failure = 0;
    if (g_os.SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return Failed(error);
    }
    if (HashOpenFile(file, digest, &failure) != 1) {
        *error = failure;
        return false;
    }
    return true;
}

// source's bytes and last-write time in temp (CopyFileA keeps the time), with
// like's attributes and creation time when it found any, on disk, and their
// digest as read back; on the NT family (like.security) also like.path's
// owner and DACL, set last, so that a DACL that lets us write nothing more
// still lets us finish the file.
bool WriteFlushedCopy(const std::string& source, const std::string& temp, const CopyLike& like,
                      const Sha256Digest* sealed, Sha256Digest* digest, Sha256Digest* likeDigest, bool* likeHashed,
                      ScopedFile* likeFile, DWORD* error) {
    if (!g_os.CopyFileA(source.c_str(), temp.c_str(), FALSE)) return Failed(error);
    // Also clears a read-only mark that the package's copy (from a CD, say)
    // would otherwise pass on, and which would refuse the flush.
    const DWORD kept = like.found ? like.found->dwFileAttributes & kKeptAttributes : 0;
    const DWORD attributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
    const FILETIME* created = like.found ? &like.found->ftCreationTime : nullptr;
    {
        // Read too: the copy is hashed through this handle, with nobody else
        // able to open it meanwhile, and without opening it again.
        ScopedFile file(OpenWritable(temp));
        if (!file.IsValid() || !SetBasicInformation(file.Get(), attributes, created)) {
            file.Reset();
            if (!g_os.SetFileAttributesA(temp.c_str(), attributes)) return Failed(error);
            file.Reset(OpenWritable(temp));
            if (!file.IsValid()) return Failed(error);
            if (created && !g_os.SetFileTime(file.Get(), created, nullptr, nullptr)) return Failed(error);
        }
        if (!g_os.FlushFileBuffers(file.Get())) return Failed(error);
        // Read back before the DACL, which may keep us from reading it.
        if (!HashWritten(file.Get(), digest, error)) return false;
        if (sealed && !IsSealed(*digest, *sealed, error)) return false;
    }
    if (like.found && like.security) {
        return CopySecurity(like.path, temp, likeDigest, likeHashed, likeFile, error);
    }
    if (likeDigest) *likeHashed = HashInto(like.path, likeDigest);
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

}  // namespace

bool ReadDigest(const std::string& path, const Sha256Digest* sealed, Sha256Digest* digest, DWORD* error) {
    uint32_t failure = 0;
    if (HashFile(path, digest, &failure) != 1) {
        *error = failure;
        return false;
    }
    return !sealed || IsSealed(*digest, *sealed, error);
}

SwapResult CopyOnto(const std::string& source, const std::string& dest, DWORD* error) {
    if (g_os.CopyFileA(source.c_str(), dest.c_str(), FALSE)) return SwapResult::kDone;
    *error = g_os.GetLastError();
    return SwapResult::kFailed;
}

PreparedCopy::~PreparedCopy() {
    if (!m_path.empty()) g_os.DeleteFileA(m_path.c_str());
}

bool PreparedCopy::Create(const std::string& folder, DWORD* error) {
    if (folder.size() > kTempFolderLimit) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    char path[MAX_PATH] = {};
    if (g_os.GetTempFileNameA(folder.c_str(), "QMX", 0, path) == 0) return Failed(error);
    m_path = path;
    return true;
}

bool PreparedCopy::Write(const std::string& source, const std::string& folder, const CopyLike& like,
                         const Sha256Digest* sealed, DWORD* error) {
    if (!Create(folder, error)) return false;
    m_likeHashed = false;
    m_likeFile.Reset();
    return WriteFlushedCopy(source, m_path, like, sealed, &m_digest, like.hash ? &m_likeDigest : nullptr,
                            &m_likeHashed, &m_likeFile, error);
}

bool PreparedCopy::WriteBytes(const std::string& path, const std::string& bytes, DWORD* error) {
    m_path = path;
    ScopedFile file(g_os.CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    if (!file.IsValid() || !g_os.WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr)) {
        return Failed(error);
    }
    if (done != bytes.size()) {
        *error = ERROR_HANDLE_DISK_FULL;
        return false;
    }
    return true;
}

SwapResult PreparedCopy::SwapInto(const std::string& dest, DWORD* error) {
    // One rename: the module's name holds the old file or the new one at
    // every instant, through a crash or a power cut too. (ReplaceFileA moves
    // the module aside first, and a kill between its two renames left no
    // module at all.) Not while we hold the module open: NTFS refuses to
    // rename over a file that has a handle.
    m_likeFile.Reset();
    if (!g_os.MoveFileExA(m_path.c_str(), dest.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return SwapFailed(dest, error);
    }
    m_path.clear();
    return SwapResult::kDone;
}

bool PreparedCopy::MoveTo(const std::string& target, bool renameOver, DWORD* error, bool writeThrough) {
    m_likeFile.Reset();
    if (renameOver) {
        if (!g_os.MoveFileExA(m_path.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | (writeThrough ? MOVEFILE_WRITE_THROUGH : 0))) {
            return Failed(error);
        }
    } else {
        // Absent already, or in the way of the rename.
        g_os.DeleteFileA(target.c_str());
        if (!g_os.MoveFileA(m_path.c_str(), target.c_str())) return Failed(error);
    }
    m_path.clear();
    return true;
}
