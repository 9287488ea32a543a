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

void StoreModel::Keep(const std::string& name, const std::string& source, const std::string& dest) {
    Sha256Digest incoming, old;
    if (m_files.DigestAt(source, &incoming) != 1 || m_files.DigestAt(dest, &old) != 1) return;
    const size_t index = StoreFolderIndex(name, incoming);
    const std::string record = RecordPrefix(name, incoming) + DigestHex(old);
    if (m_listings[index].Has(record)) return;
    // As the store: a copy kept for the same bytes goes first.
    Forget(name, incoming);
    m_files.Put(JoinPath(Folder(index), record), m_files.Probe(dest), dest);
    m_listings[index].Add(record);
}

bool StoreModel::Find(const std::string& name, const Sha256Digest& incoming, std::string* kept,
                      Sha256Digest* keptDigest) const {
    const size_t index = StoreFolderIndex(name, incoming);
    const std::string record = m_listings[index].FirstRecord(RecordPrefix(name, incoming), keptDigest);
    if (record.empty()) return false;
    *kept = JoinPath(Folder(index), record);
    return true;
}

void StoreModel::Forget(const std::string& name, const Sha256Digest& incoming) {
    RecordListing& listing = m_listings[StoreFolderIndex(name, incoming)];
    const std::string prefix = RecordPrefix(name, incoming);
    Sha256Digest digest;
    for (std::string record = listing.FirstRecord(prefix, &digest); !record.empty();
         record = listing.FirstRecord(prefix, &digest)) {
        listing.Drop(record);
    }
}
