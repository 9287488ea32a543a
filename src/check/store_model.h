// The what-if's store of kept copies: a copy of the target's QMX_UNDO read
// by the installer's own record format and lookup (store_record.h), and the
// copies the predicted run keeps, found where and as the installer would.
#pragma once

#include <string>

#include "check/model_files.h"
#include "engine/seal/sha256.h"
#include "engine/undo/store_record.h"

class StoreModel {
public:
    // storeFolder: the copy of QMX_UNDO, a path of this machine; empty for
    // an empty store. Its folders become model folders of files.
    StoreModel(ModelFiles& files, const std::string& storeFolder);

    // The package (its PackageIdentity) whose records Keep makes and Find
    // looks up.
    void UsePackage(const Sha256Digest& package) { m_package = package; }
    // The module at path kept, as the store keeps it, for the bytes at source
    // replacing listed module name: nothing when they are the same bytes.
    void Keep(const std::string& name, const std::string& source, const std::string& path);
    // The copy kept for name when incoming's bytes replaced it: 1 with its
    // model path and the digest it must have; 0 for none; -1 when several
    // records stand for it (the store is inconsistent, and none is used).
    int Find(const std::string& name, const Sha256Digest& incoming, std::string* kept,
             Sha256Digest* keptDigest) const;
    // The copy kept of name's bytes kept, by this package: true with its path.
    bool KeptCopyOf(const std::string& name, const Sha256Digest& kept, std::string* path) const;
    // Removes what Keep kept for name and incoming.
    void Forget(const std::string& name, const Sha256Digest& incoming);

private:
    // The model folder of index, and its listing.
    static std::string Folder(size_t index);

    ModelFiles& m_files;
    Sha256Digest m_package = {};
    RecordListing m_listings[kStoreFolders];
};
