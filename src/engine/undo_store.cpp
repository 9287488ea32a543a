#include "engine/undo_store.h"

#include <cstring>
#include <utility>
#include <vector>

#include "engine/durable_copy.h"
#include "engine/file_hash.h"
#include "platform/ansi_text.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

const char kStoreName[] = "QMX_UNDO";
const char kSumsName[] = "SHA256SUMS";
const size_t kHexLength = 64;

bool Failed(DWORD* error) {
    *error = g_os.GetLastError();
    return false;
}

// The names of the files in folder that pattern finds; false with error when
// the search fails for another reason than finding none.
bool ListFiles(const std::string& folder, const std::string& pattern, std::vector<std::string>* names,
               DWORD* error) {
    WIN32_FIND_DATAA data;
    ScopedFind find(g_os.FindFirstFileA(JoinPath(folder, pattern).c_str(), &data));
    if (!find.IsValid()) {
        const DWORD failure = g_os.GetLastError();
        if (failure == ERROR_FILE_NOT_FOUND || failure == ERROR_NO_MORE_FILES) return true;
        *error = failure;
        return false;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names->push_back(data.cFileName);
    } while (g_os.FindNextFileA(find.Get(), &data));
    return true;
}

// Whether name is head followed by 64 hexadecimal digits, read into digest.
// (A search also matches short names: this keeps to the long ones.)
bool IsRecord(const std::string& name, const std::string& head, Sha256Digest* digest) {
    return name.size() == head.size() + kHexLength && name.compare(0, head.size(), head) == 0 &&
           ParseDigestHex(name.c_str() + head.size(), digest);
}

}  // namespace


int UndoStore::Open(bool create, DWORD* error) {
    if (m_listed) return 1;
    if (m_folder.empty()) {
        char windowsDir[MAX_PATH + 1] = {};
        const UINT length = g_os.GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
        if (length == 0 || length >= sizeof windowsDir) {
            *error = length == 0 ? g_os.GetLastError() : ERROR_INSUFFICIENT_BUFFER;
            return -1;
        }
        m_folder = JoinPath(windowsDir, kStoreName);
    }
    WIN32_FIND_DATAA data;
    if (!FindFile(m_folder, &data)) {
        if (!create) return 0;
        // No security of our own: the Windows folder's inherited entries let
        // administrators and SYSTEM write, and no one else.
        if (!g_os.CreateDirectoryA(m_folder.c_str(), nullptr) && g_os.GetLastError() != ERROR_ALREADY_EXISTS) {
            Failed(error);
            return -1;
        }
        // Looked at again: whatever stands there now is what would be used.
        if (!FindFile(m_folder, &data)) {
            Failed(error);
            return -1;
        }
    }
    // A junction or link would put the kept copies wherever it points.
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *error = ERROR_DIRECTORY;
        return -1;
    }
    // Listed once a run, and kept up to date as it changes: a search per
    // module would scan a store of thousands each time (Wine does, for a
    // name that is absent), and one installer runs at a time.
    if (!ListFiles(m_folder, "*", &m_names, error)) return -1;
    m_listed = true;
    return 1;
}

std::string UndoStore::Prefix(const std::string& name, const Sha256Digest& incoming) const {
    return name + "." + DigestHex(incoming) + ".";
}

size_t UndoStore::FirstRecord(const std::string& prefix, Sha256Digest* digest) const {
    for (size_t at = 0; at < m_names.size(); ++at) {
        if (IsRecord(m_names[at], prefix, digest)) return at;
    }
    return m_names.size();
}

void UndoStore::Drop(size_t at) {
    m_names[at].swap(m_names.back());
    m_names.pop_back();
}

bool UndoStore::Remove(const std::string& prefix, DWORD* error) {
    Sha256Digest digest;
    for (size_t at = FirstRecord(prefix, &digest); at < m_names.size(); at = FirstRecord(prefix, &digest)) {
        m_changed = true;
        if (!g_os.DeleteFileA(JoinPath(m_folder, m_names[at]).c_str()) &&
            g_os.GetLastError() != ERROR_FILE_NOT_FOUND) {
            return Failed(error);
        }
        Drop(at);
    }
    return true;
}

bool UndoStore::Listed(const std::string& name) {
    size_t at = 0;
    while (at < m_names.size() && m_names[at] != name) ++at;
    if (at == m_names.size()) return false;
    // Looked at again: someone may have emptied the store since it was
    // listed. (A name that is there is found at once.)
    WIN32_FIND_DATAA data;
    if (FindFile(JoinPath(m_folder, name), &data)) return true;
    Drop(at);
    return false;
}

bool UndoStore::Keep(const std::string& name, const std::string& module, const WIN32_FIND_DATAA& found,
                     const Sha256Digest& incoming, DWORD* error) {
    if (Open(true, error) != 1) return false;
    const std::string prefix = Prefix(name, incoming);
    Sha256Digest kept;
    uint32_t failure = 0;
    if (HashFile(module, &kept, &failure) != 1) {
        *error = failure;
        return false;
    }
    // Kept already, by an earlier try whose swap did not happen: a link to
    // a module still in use cannot be removed, and need not be.
    const std::string record = prefix + DigestHex(kept);
    if (Listed(record)) return true;
    // A copy kept for the same bytes from another module goes first: a
    // crash meanwhile leaves no record, never a record of other bytes.
    if (!Remove(prefix, error)) return false;
    m_changed = true;
    // The old bytes stay under the link's name when the swap takes the
    // module's name from them. It is journalled with the names that follow,
    // so it is on disk before the swap's write-through rename.
    if (Nt() && g_os.CreateHardLinkA &&
        g_os.CreateHardLinkA(JoinPath(m_folder, record).c_str(), module.c_str(), nullptr)) {
        m_names.push_back(record);
        return true;
    }
    // A volume without links (FAT), the store on another volume, or 95/98/Me.
    PreparedCopy copy;
    if (!copy.Write(module, m_folder, &found, module, Nt(), nullptr, error)) return false;
    const std::string copied = prefix + DigestHex(copy.Digest());
    if (!copy.MoveTo(JoinPath(m_folder, copied), Nt(), error)) return false;
    m_names.push_back(copied);
    return true;
}

void UndoStore::Forget(const std::string& name, const Sha256Digest& incoming) {
    DWORD error = 0;
    if (Open(false, &error) == 1) Remove(Prefix(name, incoming), &error);
}

int UndoStore::Find(const std::string& name, const Sha256Digest& incoming, std::string* kept,
                    Sha256Digest* keptDigest, DWORD* error) {
    const int open = Open(false, error);
    if (open != 1) return open;
    const size_t found = FirstRecord(Prefix(name, incoming), keptDigest);
    if (found == m_names.size()) return 0;
    const std::string record = m_names[found];
    if (!Listed(record)) return 0;
    *kept = JoinPath(m_folder, record);
    return 1;
}

void UndoStore::Close() {
    const bool changed = m_changed && m_listed;
    m_changed = m_listed = false;
    std::vector<std::string> names;
    names.swap(m_names);
    if (!changed) return;
    std::string sums;
    Sha256Digest digest;
    for (const std::string& name : names) {
        const size_t size = name.size();
        if (size <= 2 * kHexLength + 2 || name[size - kHexLength - 1] != '.' ||
            name[size - 2 * kHexLength - 2] != '.' ||
            !ParseDigestHex(name.c_str() + size - 2 * kHexLength - 1, &digest) ||
            !ParseDigestHex(name.c_str() + size - kHexLength, &digest)) {
            continue;
        }
        sums += name.substr(size - kHexLength) + " *" + name + "\n";
    }
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
