#include "check/store_model.h"

#include "platform/ansi_text.h"

namespace {

// The model's root of the store's folders.
const char kStoreRoot[] = "T:";

}  // namespace

StoreModel::StoreModel(ModelFiles& files, const std::string& storeFolder) : m_files(files) {
    if (storeFolder.empty()) return;
    for (size_t index = 0; index < kStoreFolders; ++index) {
        const std::string folder = JoinPath(storeFolder, std::string(1, kStoreFolderDigits[index]), kLocalSeparator);
        m_files.MapRoot(Folder(index), folder);
        for (const std::string& name : ListFolder(folder)) m_listings[index].Add(name);
    }
}

std::string StoreModel::Folder(size_t index) { return JoinPath(kStoreRoot, std::string(1, kStoreFolderDigits[index])); }

void StoreModel::Keep(const std::string& name, const std::string& source, const std::string& path) {
    Sha256Digest incoming, old;
    if (m_files.DigestAt(source, &incoming) != 1 || m_files.DigestAt(path, &old) != 1 || old == incoming) return;
    const Sha256Digest key = RecordKey(m_package, name);
    RecordListing& listing = m_listings[RecordFolder(key)];
    const std::string prefix = RecordPrefix(key);
    const std::string record = prefix + DigestHex(old);
    if (!listing.Has(record)) m_files.Put(JoinPath(Folder(RecordFolder(key)), record), m_files.Probe(path), path);
    // As the store: the new record replaces the package's older one.
    listing.Drop(record);
    Sha256Digest digest;
    for (std::string other = listing.FirstRecord(prefix, &digest); !other.empty();
         other = listing.FirstRecord(prefix, &digest)) {
        listing.Drop(other);
    }
    listing.Add(record);
}

int StoreModel::Find(const std::string& name, const Sha256Digest& incoming, std::string* kept,
                     Sha256Digest* keptDigest) const {
    FoundRecord found;
    auto listingOf = [this](size_t index) { return &m_listings[index]; };
    if (!FindStoreRecord(m_package, name, incoming, listingOf, &found)) return 0;
    if (found.several) return -1;
    *kept = JoinPath(Folder(found.folder), found.name);
    *keptDigest = found.old;
    return 1;
}

bool StoreModel::KeptCopyOf(const std::string& name, const Sha256Digest& kept, std::string* path) const {
    const Sha256Digest key = RecordKey(m_package, name);
    const std::string record = RecordPrefix(key) + DigestHex(kept);
    if (!m_listings[RecordFolder(key)].Has(record)) return false;
    *path = JoinPath(Folder(RecordFolder(key)), record);
    return true;
}

void StoreModel::Forget(const std::string& name, const Sha256Digest& incoming) {
    FoundRecord found;
    auto listingOf = [this](size_t index) { return &m_listings[index]; };
    if (FindStoreRecord(m_package, name, incoming, listingOf, &found)) m_listings[found.folder].Drop(found.name);
}
