#include "engine/undo/undo_store.h"

#include <utility>

#include "engine/swap/durable_copy.h"
#include "engine/seal/file_hash.h"
#include "engine/undo/hard_link.h"
#include "engine/undo/store_layout.h"
#include "platform/ansi_text.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

const char kStoreName[] = "QMX_UNDO";
const char kSumsName[] = "SHA256SUMS";
const size_t kHexLength = 64;

// The names of the files in folder that pattern finds, each followed by a
// line end (no file name holds one); false with error when the search fails
// for another reason than finding none.
bool ListFiles(const std::string& folder, const std::string& pattern, std::string* names, DWORD* error) {
    WIN32_FIND_DATAA data;
    ScopedFind find(g_os.FindFirstFileA(JoinPath(folder, pattern).c_str(), &data));
    if (!find.IsValid()) {
        const DWORD failure = g_os.GetLastError();
        if (failure == ERROR_FILE_NOT_FOUND || failure == ERROR_NO_MORE_FILES) return true;
        *error = failure;
        return false;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) *names += std::string(data.cFileName) + "\n";
    } while (g_os.FindNextFileA(find.Get(), &data));
    return true;
}

// Whether name is head followed by 64 hexadecimal digits, read into digest.
// (A search also matches short names: this keeps to the long ones.)
bool IsRecord(const std::string& name, const std::string& head, Sha256Digest* digest) {
    return name.size() == head.size() + kHexLength && name.compare(0, head.size(), head) == 0 &&
           ParseDigestHex(name.c_str() + head.size(), digest);
}

// Which of the store's folders name is (its digit in either case), or
// more than any for a name that is none.
size_t FolderOfName(const char* name) {
    const char digit = name[0] >= 'A' && name[0] <= 'F' ? static_cast<char>(name[0] - 'A' + 'a') : name[0];
    for (size_t index = 0; digit != 0 && name[1] == 0 && kStoreFolderDigits[index] != 0; ++index) {
        if (kStoreFolderDigits[index] == digit) return index;
    }
    return sizeof kStoreFolderDigits;
}

// A junction or link would put the kept copies wherever it points.
bool IsPlainFolder(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// 1 when path is a plain folder, 2 when it was missing and create made it
// (empty, then); 0 when it is missing; -1 with error otherwise.
int PlainFolder(const std::string& path, bool create, DWORD* error) {
    WIN32_FIND_DATAA data;
    if (!FindFile(path, &data)) {
        if (!create) return 0;
        // No security of our own: the Windows folder's inherited entries let
        // administrators and SYSTEM write, and no one else.
        if (g_os.CreateDirectoryA(path.c_str(), nullptr)) return 2;
        if (g_os.GetLastError() != ERROR_ALREADY_EXISTS) {
            *error = g_os.GetLastError();
            return -1;
        }
        // Someone else's since the search: whatever stands there now is what
        // would be used.
        if (!FindFile(path, &data)) {
            *error = g_os.GetLastError();
            return -1;
        }
    }
    if (!IsPlainFolder(data)) {
        *error = ERROR_DIRECTORY;
        return -1;
    }
    return 1;
}

}  // namespace

UndoStore::UndoStore(const Machine& machine, const std::string& folder) : m_machine(machine), m_folder(folder) {}

int UndoStore::Open(bool create, DWORD* error) {
    if (m_open) return 1;
    if (m_folder.empty()) {
        char windowsDir[MAX_PATH + 1] = {};
        const UINT length = g_os.GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
        if (length == 0 || length >= sizeof windowsDir) {
            *error = length == 0 ? g_os.GetLastError() : ERROR_INSUFFICIENT_BUFFER;
            return -1;
        }
        m_folder = JoinPath(windowsDir, kStoreName);
    }
    const int open = PlainFolder(m_folder, create, error);
    m_open = open > 0;
    return m_open ? 1 : open;
}

int UndoStore::OpenShard(const std::string& name, const Sha256Digest& incoming, bool create, Shard** shard,
                         DWORD* error) {
    const int open = Open(create, error);
    if (open != 1) return open;
    const size_t index = StoreFolderIndex(name, incoming);
    Shard& chosen = m_shards[index];
    if (!chosen.listed) {
        const std::string folder = JoinPath(m_folder, std::string(1, kStoreFolderDigits[index]));
        const int made = PlainFolder(folder, create, error);
        if (made <= 0) return made;
        // Listed once a run, and kept up to date as it changes: a search per
        // module would scan the folder each time (Wine does, for a name that
        // is absent), and one installer runs at a time.
        chosen.folder = folder;
        chosen.names = "\n";
        if (made == 1 && !ListFiles(folder, "*", &chosen.names, error)) return -1;
        chosen.listed = true;
    }
    *shard = &chosen;
    return 1;
}

std::string UndoStore::Prefix(const std::string& name, const Sha256Digest& incoming) const {
    return name + "." + DigestHex(incoming) + ".";
}

std::string UndoStore::Shard::FirstRecord(const std::string& prefix, Sha256Digest* digest) const {
    for (size_t at = names.find("\n" + prefix); at != std::string::npos; at = names.find("\n" + prefix, at + 1)) {
        const std::string name = names.substr(at + 1, names.find('\n', at + 1) - at - 1);
        if (IsRecord(name, prefix, digest)) return name;
    }
    return std::string();
}

void UndoStore::Shard::Drop(const std::string& name) {
    const size_t at = names.find("\n" + name + "\n");
    if (at != std::string::npos) names.erase(at, name.size() + 1);
}

bool UndoStore::Shard::Remove(const std::string& prefix, DWORD* error) {
    Sha256Digest digest;
    for (std::string name = FirstRecord(prefix, &digest); !name.empty(); name = FirstRecord(prefix, &digest)) {
        changed = true;
        if (!g_os.DeleteFileA(JoinPath(folder, name).c_str()) && g_os.GetLastError() != ERROR_FILE_NOT_FOUND) {
            *error = g_os.GetLastError();
            return false;
        }
        Drop(name);
    }
    return true;
}

bool UndoStore::Shard::Listed(const std::string& name) {
    if (names.find("\n" + name + "\n") == std::string::npos) return false;
    // Looked at again: someone may have emptied the store since it was
    // listed. (A name that is there is found at once.)
    WIN32_FIND_DATAA data;
    if (FindFile(JoinPath(folder, name), &data)) return true;
    Drop(name);
    return false;
}

bool UndoStore::Keep(const std::string& name, const std::string& module, const WIN32_FIND_DATAA& found,
                     const Sha256Digest& incoming, DWORD* error, const Sha256Digest* moduleDigest,
                     HANDLE moduleFile) {
    Shard* shard = nullptr;
    if (OpenShard(name, incoming, true, &shard, error) != 1) return false;
    const std::string prefix = Prefix(name, incoming);
    Sha256Digest kept;
    uint32_t failure = 0;
    if (moduleDigest) {
        kept = *moduleDigest;
    } else if (HashFile(module, &kept, &failure) != 1) {
        *error = failure;
        return false;
    }
    // Kept already, by an earlier try whose swap did not happen: a link to
    // a module still in use cannot be removed, and need not be.
    const std::string record = prefix + DigestHex(kept);
    if (shard->Listed(record)) return true;
    // A copy kept for the same bytes from another module goes first: a
    // crash meanwhile leaves no record, never a record of other bytes.
    if (!shard->Remove(prefix, error)) return false;
    shard->changed = true;
    // The old bytes stay under the link's name when the swap takes the
    // module's name from them. It is journalled with the names that follow,
    // so it is on disk before the swap's write-through rename.
    if (Nt() && g_os.CreateHardLinkA &&
        LinkFile(JoinPath(shard->folder, record), module, moduleDigest ? moduleFile : nullptr)) {
        shard->names += record + "\n";
        return true;
    }
    // A volume without links (FAT), the store on another volume, or 95/98/Me.
    PreparedCopy copy;
    if (!copy.Write(module, shard->folder, &found, module, Nt(), nullptr, error)) return false;
    const std::string copied = prefix + DigestHex(copy.Digest());
    if (!copy.MoveTo(JoinPath(shard->folder, copied), Nt(), error)) return false;
    shard->names += copied + "\n";
    return true;
}

void UndoStore::Forget(const std::string& name, const Sha256Digest& incoming) {
    DWORD error = 0;
    Shard* shard = nullptr;
    if (OpenShard(name, incoming, false, &shard, &error) == 1) shard->Remove(Prefix(name, incoming), &error);
}

int UndoStore::Find(const std::string& name, const Sha256Digest& incoming, std::string* kept,
                    Sha256Digest* keptDigest, DWORD* error) {
    Shard* shard = nullptr;
    const int open = OpenShard(name, incoming, false, &shard, error);
    if (open != 1) return open;
    const std::string record = shard->FirstRecord(Prefix(name, incoming), keptDigest);
    if (record.empty() || !shard->Listed(record)) return 0;
    *kept = JoinPath(shard->folder, record);
    return 1;
}

std::string UndoStore::Sums() const {
    // The folders that stand, and are plain, from one search of the store:
    // a search for each of sixteen would cost more than the rest of a run
    // that replaces one module.
    bool plain[kFolders] = {};
    WIN32_FIND_DATAA data;
    ScopedFind find(g_os.FindFirstFileA(JoinPath(m_folder, "*").c_str(), &data));
    for (bool more = find.IsValid(); more; more = g_os.FindNextFileA(find.Get(), &data) != FALSE) {
        const size_t digit = FolderOfName(data.cFileName);
        if (digit < kFolders) plain[digit] = IsPlainFolder(data);
    }
    std::string sums;
    for (size_t digit = 0; digit < kFolders; ++digit) {
        const Shard& shard = m_shards[digit];
        // The folders this run did not use are listed now: a listing kept
        // from an earlier run would go on naming copies deleted since.
        std::string unused = "\n";
        DWORD error = 0;
        const std::string folder = JoinPath(m_folder, std::string(1, kStoreFolderDigits[digit]));
        if (!shard.listed && (!plain[digit] || !ListFiles(folder, "*", &unused, &error))) continue;
        const std::string& names = shard.listed ? shard.names : unused;
        for (size_t at = 1, end; (end = names.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string name = names.substr(at, end - at);
            Sha256Digest incoming, old;
            if (ParseStoreRecord(name, &incoming, &old)) {
                sums += DigestHex(old) + " *" + kStoreFolderDigits[digit] + "/" + name + "\n";
            }
        }
    }
    return sums;
}

void UndoStore::Close() {
    bool changed = false;
    for (const Shard& shard : m_shards) changed = changed || shard.changed;
    const bool write = changed && m_open;
    const std::string sums = write ? Sums() : std::string();
    for (Shard& shard : m_shards) shard = Shard();
    m_open = false;
    if (!write) return;
    // Written aside and renamed: a reader never sees half a listing.
    char temp[MAX_PATH] = {};
    if (m_folder.size() > MAX_PATH - 14 || g_os.GetTempFileNameA(m_folder.c_str(), "QMX", 0, temp) == 0) return;
    bool written = false;
    {
        ScopedFile file(g_os.CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD done = 0;
        written = file.IsValid() &&
                  g_os.WriteFile(file.Get(), sums.data(), static_cast<DWORD>(sums.size()), &done, nullptr) &&
                  done == sums.size() && g_os.FlushFileBuffers(file.Get());
    }
    const std::string target = JoinPath(m_folder, kSumsName);
    if (written && Nt()) {
        written = g_os.MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    } else if (written) {
        g_os.DeleteFileA(target.c_str());
        written = g_os.MoveFileA(temp, target.c_str()) != 0;
    }
    if (!written) g_os.DeleteFileA(temp);
}
