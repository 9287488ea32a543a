#include "engine/undo/undo_store.h"

#include "engine/seal/file_hash.h"
#include "engine/swap/durable_copy.h"
#include "engine/undo/hard_link.h"
#include "engine/undo/run_journal.h"
#include "engine/undo/store_trust.h"
#include "platform/ansi_text.h"
#include "platform/file_search.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"
#include "platform/windows_folder.h"

namespace {

const char kStoreName[] = "QMX_UNDO";
const char kSumsName[] = "SHA256SUMS";
// Its name while it is written: one fixed name, since no one else writes in
// the store and one installer runs at a time (GetTempFileNameA would cost
// the run one more open).
const char kSumsTemporary[] = "SHA256SUMS.NEW";

// What the store's listing at the start of a run saw of a name: nothing
// known (it is searched for), nothing there, or its search data.
struct Sighting {
    enum State { kUnknown, kAbsent, kFound } state = kUnknown;
    WIN32_FIND_DATAA data;
};

// What PlainFolder found at a path.
enum class Folder {
    kPlain,     // a plain folder that stood there
    kMade,      // missing, and made now (empty, then)
    kMissing,   // missing, and not to be made
    kUnusable,  // anything else, with the error
    kRaced,     // MakeFolder: missing at the look, someone else's since
};

// A folder the look found missing: not to be made (kMissing), made now
// (kMade), made by someone else since the look (kRaced: whatever stands
// there now is what would be used, and is looked at again), or neither.
Folder MakeFolder(const std::string& path, bool create, StoreSecurity& security, DWORD* error) {
    if (!create) return Folder::kMissing;
    // Ours from the start: Administrators and SYSTEM, nothing inherited.
    if (g_os.CreateDirectoryA(path.c_str(), security.Attributes())) return Folder::kMade;
    if (g_os.GetLastError() == ERROR_ALREADY_EXISTS) return Folder::kRaced;
    *error = g_os.GetLastError();
    return Folder::kUnusable;
}

// PlainFolder of a folder not yet seen, where the trust check's own open
// tells what stands there: no search first.
Folder StandingFolder(const std::string& path, bool create, StoreSecurity& security, DWORD* error) {
    StoreTrust trust = JudgeStandingFolder(path, security, error);
    if (trust == StoreTrust::kAbsent) {
        const Folder made = MakeFolder(path, create, security, error);
        if (made != Folder::kRaced) return made;
        trust = JudgeStandingFolder(path, security, error);
    }
    return trust == StoreTrust::kTrusted || trust == StoreTrust::kNoSecurity ? Folder::kPlain : Folder::kUnusable;
}

Folder PlainFolder(const std::string& path, bool create, StoreSecurity& security, DWORD* error,
                   const Sighting& seen = Sighting()) {
    if (seen.state == Sighting::kUnknown && CanJudgeStanding(security)) {
        return StandingFolder(path, create, security, error);
    }
    WIN32_FIND_DATAA data;
    const bool standing = seen.state == Sighting::kUnknown ? FindFile(path, &data) : seen.state == Sighting::kFound;
    if (seen.state == Sighting::kFound) data = seen.data;
    if (!standing) {
        const Folder made = MakeFolder(path, create, security, error);
        if (made != Folder::kRaced) return made;
        if (!FindFile(path, &data)) {
            *error = g_os.GetLastError();
            return Folder::kUnusable;
        }
    }
    if (!IsPlainFolder(data.dwFileAttributes)) {
        *error = ERROR_DIRECTORY;
        return Folder::kUnusable;
    }
    // One that stood: used only when it is the installer's own.
    const StoreTrust trust = JudgeStoreFolder(path, security, error);
    if (trust == StoreTrust::kTrusted || trust == StoreTrust::kNoSecurity) return Folder::kPlain;
    // Gone since the store was listed (an administrator emptied it): looked
    // for again.
    const bool gone = *error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND;
    if (seen.state == Sighting::kFound && gone) return PlainFolder(path, create, security, error);
    return Folder::kUnusable;
}

// bytes as the new file at path, shared with no one until it is whole;
// false when a file stands there already or the bytes did not all go in
// (the part written removed).
bool WriteNewFile(const std::string& path, const std::string& bytes) {
    ScopedFile file(g_os.CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
    if (!file.IsValid()) return false;
    DWORD done = 0;
    const bool whole = g_os.WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                       done == bytes.size();
    file.Reset();
    if (!whole) g_os.DeleteFileA(path.c_str());
    return whole;
}

std::string ShardFolder(const std::string& store, size_t index) {
    return JoinPath(store, std::string(1, kStoreFolderDigits[index]));
}

}  // namespace

UndoStore::UndoStore(const Machine& machine, const std::string& folder)
    : m_machine(machine), m_folder(folder), m_security(machine) {}

UndoStore::Opened UndoStore::Open(bool create, DWORD* error) {
    if (m_open) return Opened::kReady;
    if (m_folder.empty()) {
        uint32_t failure = 0;
        const std::string windows = WindowsFolder(&failure);
        if (windows.empty()) {
            *error = failure;
            return Opened::kUnusable;
        }
        m_folder = JoinPath(windows, kStoreName);
    }
    const Folder found = PlainFolder(m_folder, create, m_security, error);
    m_open = found == Folder::kPlain || found == Folder::kMade;
    if (m_open) ListTop(found == Folder::kMade);
    if (m_open) return Opened::kReady;
    return found == Folder::kMissing ? Opened::kMissing : Opened::kUnusable;
}

void UndoStore::ListTop(bool made) {
    m_top = TopListing();
    m_top.known = made;
    if (made) return;
    WIN32_FIND_DATAA data;
    ScopedFind find(g_os.FindFirstFileA(JoinPath(m_folder, "*").c_str(), &data));
    m_top.known = find.IsValid();
    for (bool more = find.IsValid(); more; more = g_os.FindNextFileA(find.Get(), &data) != FALSE) {
        size_t digit = 0;
        if (StoreFolderOf(data.cFileName, &digit)) {
            m_top.found[digit] = true;
            m_top.folders[digit] = data;
        } else if (IsJournalName(data)) {
            m_top.journals.push_back(JoinPath(m_folder, data.cFileName));
        } else {
            m_top.sums = m_top.sums || EqualsIgnoringAsciiCase(data.cFileName, kSumsName);
        }
    }
}

UndoStore::Opened UndoStore::OpenShard(size_t index, bool create, Shard** shard, DWORD* error) {
    const Opened open = Open(create, error);
    if (open != Opened::kReady) return open;
    Shard& chosen = m_shards[index];
    if (!chosen.listed) {
        const std::string folder = ShardFolder(m_folder, index);
        Sighting seen;
        if (m_top.known) seen.state = m_top.found[index] ? Sighting::kFound : Sighting::kAbsent;
        if (m_top.found[index]) seen.data = m_top.folders[index];
        const Folder found = PlainFolder(folder, create, m_security, error, seen);
        if (found == Folder::kMissing) return Opened::kMissing;
        if (found == Folder::kUnusable) return Opened::kUnusable;
        // Listed once a run, and kept up to date as it changes: a search per
        // module would scan the folder each time (Wine does, for a name that
        // is absent), and one installer runs at a time.
        chosen.folder = folder;
        chosen.names = RecordListing();
        std::string names;
        if (found == Folder::kPlain && !ListFiles(folder, &names, error)) return Opened::kUnusable;
        chosen.names.AddNames(names);
        chosen.listed = true;
    }
    *shard = &chosen;
    return Opened::kReady;
}

const RecordListing* UndoStore::Listing(size_t index) {
    DWORD error = 0;
    Shard* shard = nullptr;
    return OpenShard(index, false, &shard, &error) == Opened::kReady ? &shard->names : nullptr;
}

bool UndoStore::Shard::Remove(const std::string& name, DWORD* error) {
    changed = true;
    if (!g_os.DeleteFileA(JoinPath(folder, name).c_str()) && g_os.GetLastError() != ERROR_FILE_NOT_FOUND) {
        *error = g_os.GetLastError();
        return false;
    }
    names.Drop(name);
    return true;
}

bool UndoStore::Shard::RemoveOthers(const std::string& prefix, const std::string& keep, DWORD* error) {
    names.Drop(keep);
    Sha256Digest digest;
    bool removed = true;
    for (std::string name = names.FirstRecord(prefix, &digest); removed && !name.empty();
         name = names.FirstRecord(prefix, &digest)) {
        removed = Remove(name, error);
    }
    names.Add(keep);
    return removed;
}

bool UndoStore::Shard::Listed(const std::string& name, WIN32_FIND_DATAA* data) {
    if (!names.Has(name)) return false;
    // Looked at again: someone may have emptied the store since it was
    // listed. (A name that is there is found at once.)
    if (FindFile(JoinPath(folder, name), data)) return true;
    names.Drop(name);
    return false;
}

bool UndoStore::Keep(const std::string& name, const std::string& module, const WIN32_FIND_DATAA& found,
                     const Sha256Digest& incoming, DWORD* error, const Sha256Digest* moduleDigest,
                     HANDLE moduleFile) {
    m_freshShard = nullptr;
    Sha256Digest kept;
    if (moduleDigest) {
        kept = *moduleDigest;
    } else if (!ReadDigest(module, nullptr, &kept, error)) {
        return false;
    }
    m_lastKept = kept;
    // The package's own bytes: nothing changes, and the record of the
    // state before its first change is the one to keep.
    if (kept == incoming) return true;
    const Sha256Digest key = RecordKey(m_package, name);
    Shard* shard = nullptr;
    if (OpenShard(RecordFolder(key), true, &shard, error) != Opened::kReady) return false;
    const std::string prefix = RecordPrefix(key);
    // Kept already, by an earlier try whose change did not happen: a link to
    // a module still in use cannot be removed, and need not be.
    std::string record = prefix + DigestHex(kept);
    // A file under the record's name is never taken on trust: only whole
    // bytes of ours, and no reparse point, count as kept already.
    WIN32_FIND_DATAA data;
    Sha256Digest standing;
    if (shard->Listed(record, &data) &&
        ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
         !ReadDigest(JoinPath(shard->folder, record), nullptr, &standing, error) || standing != kept) &&
        !shard->Remove(record, error)) {
        return false;
    }
    if (!shard->Listed(record)) {
        // The old bytes stay under the link's name when the swap takes the
        // module's name from them. It is journalled with the names that
        // follow, so it is on disk before the swap's write-through rename.
        shard->changed = true;
        if (Nt() && g_os.CreateHardLinkA &&
            LinkFile(JoinPath(shard->folder, record), module, moduleDigest ? moduleFile : nullptr)) {
            shard->names.Add(record);
        } else if (!KeepCopy(shard, prefix, module, found, &record, error)) {
            return false;
        }
        m_freshShard = shard;
        m_fresh = record;
    }
    // Only once the new record stands does the older one go: a failure
    // between the two leaves both, never neither.
    if (shard->RemoveOthers(prefix, record, error)) return true;
    Settle(false);
    return false;
}

bool UndoStore::KeepCopy(Shard* shard, const std::string& prefix, const std::string& module,
                         const WIN32_FIND_DATAA& found, std::string* record, DWORD* error) {
    // A volume without links (FAT), the store on another volume, or 95/98/Me.
    PreparedCopy copy;
    if (!copy.Write(module, shard->folder, CopyLike{.found = &found, .path = module, .security = Nt()}, nullptr,
                    error)) {
        return false;
    }
    *record = prefix + DigestHex(copy.Digest());
    if (!copy.MoveTo(JoinPath(shard->folder, *record), Nt(), error)) return false;
    shard->names.Add(*record);
    return true;
}

void UndoStore::Settle(bool made) {
    DWORD error = 0;
    if (!made && m_freshShard && !m_fresh.empty()) m_freshShard->Remove(m_fresh, &error);
    m_freshShard = nullptr;
    m_fresh.clear();
}

void UndoStore::Forget(const std::string& name, const Sha256Digest& incoming) {
    FoundRecord found;
    if (!FindStoreRecord(m_package, name, incoming, [this](size_t index) { return Listing(index); }, &found)) return;
    DWORD error = 0;
    m_shards[found.folder].Remove(found.name, &error);
}

int UndoStore::Find(const std::string& name, const Sha256Digest& incoming, std::string* kept,
                    Sha256Digest* keptDigest, DWORD* error) {
    const Opened open = Open(false, error);
    if (open != Opened::kReady) return open == Opened::kMissing ? 0 : -1;
    bool unusable = false;
    auto listingOf = [&](size_t index) -> const RecordListing* {
        Shard* shard = nullptr;
        const Opened opened = OpenShard(index, false, &shard, error);
        unusable = unusable || opened == Opened::kUnusable;
        return opened == Opened::kReady ? &shard->names : nullptr;
    };
    FoundRecord found;
    if (!FindStoreRecord(m_package, name, incoming, listingOf, &found)) return unusable ? -1 : 0;
    WIN32_FIND_DATAA data;
    if (!m_shards[found.folder].Listed(found.name, &data)) return 0;
    // Several records for one key, or one that points elsewhere: not to be
    // guessed at.
    if (found.several || (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *error = kInconsistentStore;
        return -1;
    }
    *kept = JoinPath(m_shards[found.folder].folder, found.name);
    *keptDigest = found.old;
    return 1;
}

int UndoStore::KeptCopyOf(const std::string& name, const Sha256Digest& kept, std::string* path, DWORD* error) {
    const Sha256Digest key = RecordKey(m_package, name);
    Shard* shard = nullptr;
    const Opened open = OpenShard(RecordFolder(key), false, &shard, error);
    if (open != Opened::kReady) return open == Opened::kMissing ? 0 : -1;
    const std::string record = RecordPrefix(key) + DigestHex(kept);
    WIN32_FIND_DATAA data;
    if (!shard->Listed(record, &data)) return 0;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *error = kInconsistentStore;
        return -1;
    }
    *path = JoinPath(shard->folder, record);
    return 1;
}

bool UndoStore::Locate(std::string* folder) {
    DWORD error = 0;
    if (Open(false, &error) != Opened::kReady) return false;
    *folder = m_folder;
    return true;
}

std::string UndoStore::Sums() const {
    // The folders that stood, and were plain, when the run listed the store;
    // the ones it made since are listed by their shards.
    bool plain[kStoreFolders] = {};
    for (size_t digit = 0; digit < kStoreFolders; ++digit) {
        plain[digit] = m_top.found[digit] && IsPlainFolder(m_top.folders[digit].dwFileAttributes);
    }
    std::string sums;
    for (size_t digit = 0; digit < kStoreFolders; ++digit) {
        const Shard& shard = m_shards[digit];
        // The folders this run did not use are listed now: a listing kept
        // from an earlier run would go on naming copies deleted since.
        RecordListing unused;
        std::string names;
        DWORD error = 0;
        if (!shard.listed && (!plain[digit] || !ListFiles(ShardFolder(m_folder, digit), &names, &error))) continue;
        unused.AddNames(names);
        (shard.listed ? shard.names : unused).ForEachName([&](const std::string& name) {
            Sha256Digest old;
            if (ParseStoreRecord(name, &old)) sums += DigestHex(old) + " *" + kStoreFolderDigits[digit] + "/" + name + "\n";
        });
    }
    return sums;
}

void UndoStore::Close() {
    bool changed = false;
    for (const Shard& shard : m_shards) changed = changed || shard.changed;
    const bool write = changed && m_open;
    // Without the run's listing of the store, the folders it did not use are
    // found now.
    if (write && !m_top.known) ListTop(false);
    const std::string sums = write ? Sums() : std::string();
    const bool firstListing = m_top.known && !m_top.sums;
    for (Shard& shard : m_shards) shard = Shard();
    m_top = TopListing();
    m_open = false;
    m_freshShard = nullptr;
    if (!write) return;
    // The store's first listing in place: there is none to keep whole
    // meanwhile, and no one can open it before it is whole.
    if (firstListing && WriteNewFile(JoinPath(m_folder, kSumsName), sums)) return;
    // Else written aside and renamed: a reader never sees half a listing.
    PreparedCopy listing;
    DWORD error = 0;
    // Not flushed: the installer never reads the listing, and the kept
    // copies it names are on disk already.
    if (listing.WriteBytes(JoinPath(m_folder, kSumsTemporary), sums, &error)) {
        listing.MoveTo(JoinPath(m_folder, kSumsName), Nt(), &error, false);
    }
}
