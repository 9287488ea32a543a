// The names in the store of kept copies: the one owner of the record format,
// for the installer and for the what-if, which must find a record where the
// installer would, by the same rule, and nowhere else. Free of Win32.
//
// One file per kept copy, named KEY.OLD: KEY the SHA-256 of the package that
// replaced the module and of the module's name (RecordKey), OLD the SHA-256
// of the kept bytes, each as 64 lower-case hexadecimal digits. The name is
// the record, and its length does not depend on the module's name: any
// module the system folder can hold can be kept. Each record lies in one of
// sixteen folders, 0 to f, the first digit of its KEY.
//
// An earlier installer named its records NAME.NEW.OLD, by the module's name
// and the bytes that replaced it (NEW), in the folder LegacyFolderIndex
// chooses. Such records are still found for /undo, never made.
#pragma once

#include <cstddef>
#include <string>

#include "engine/seal/sha256.h"

// The store's sixteen folders.
constexpr char kStoreFolderDigits[] = "0123456789abcdef";
constexpr size_t kStoreFolders = sizeof kStoreFolderDigits - 1;

// A package as the store knows it: the SHA-256 over its [File] names, in list
// order, each followed by a NUL and the 32 bytes of its module's SHA-256 as
// shipped (zero bytes for a module the package cannot give). Nothing else
// counts: not the files' times, the [Log] switch, the seal nor the program,
// so a copy of the package with other times is the same package.
class PackageIdentity {
public:
    void Add(const std::string& name, const Sha256Digest* digest);
    Sha256Digest Final() { return m_hash.Final(); }

private:
    Sha256 m_hash;
};

// The key of the records of listed module name (as the change list gives
// it) for package's identity.
Sha256Digest RecordKey(const Sha256Digest& package, const std::string& name);
// Which folder holds the records of key: its first hexadecimal digit.
size_t RecordFolder(const Sha256Digest& key);
// The start of every record of key: "KEY.".
std::string RecordPrefix(const Sha256Digest& key);

// The earlier layout's folder and prefix ("NAME.NEW.") of name's records for
// incoming's bytes.
size_t LegacyFolderIndex(const std::string& name, const Sha256Digest& incoming);
std::string LegacyPrefix(const std::string& name, const Sha256Digest& incoming);

// Whether name is one of the store's folders (its digit in either case):
// true with its index.
bool StoreFolderOf(const char* name, size_t* index);

// Whether fileName is a record of either layout: true with the digest its
// kept bytes must have.
bool ParseStoreRecord(const std::string& fileName, Sha256Digest* old);

// The files of one of the store's folders as a plain text searched whole,
// each name after a line end and before one, in the order they were listed.
class RecordListing {
public:
    // names: file names, each followed by a line end (as ListFiles gives them).
    void AddNames(const std::string& names) { m_names += names; }
    void Add(const std::string& name) { m_names.append(name).push_back('\n'); }
    void Drop(const std::string& name);
    bool Has(const std::string& name) const;

    // The first name listed that is a record under prefix, with OLD read
    // into old; empty for none. Names match as written, case and all, as
    // Windows lists them; a search also lists short names, and this keeps to
    // the long ones.
    std::string FirstRecord(const std::string& prefix, Sha256Digest* old) const;
    // How many names listed are records under prefix.
    size_t CountRecords(const std::string& prefix) const;
    // Each name listed, in order.
    template <class Each>
    void ForEachName(Each each) const {
        for (size_t at = 1, end; (end = m_names.find('\n', at)) != std::string::npos; at = end + 1) {
            each(m_names.substr(at, end - at));
        }
    }

private:
    std::string m_names = "\n";
};

// Where a record was found: its folder and name, and whether another record
// stands beside it under the same key, which makes the store inconsistent:
// no record of it is to be used.
struct FoundRecord {
    size_t folder = 0;
    std::string name;
    Sha256Digest old = {};
    bool several = false;
};

// ERROR_FILE_CORRUPT: an inconsistent store, several records for one key or
// a record that is a reparse point.
constexpr uint32_t kInconsistentStore = 1392;

// The one lookup of the installer and the what-if: listed module name's
// record for package, else a record of the earlier layout for the bytes
// incoming. listingOf(folder) gives the listing of a folder of the store, or
// null when it has none. true with the record found.
template <class ListingOf>
bool FindStoreRecord(const Sha256Digest& package, const std::string& name, const Sha256Digest& incoming,
                     ListingOf listingOf, FoundRecord* found) {
    const Sha256Digest key = RecordKey(package, name);
    const size_t folders[2] = {RecordFolder(key), LegacyFolderIndex(name, incoming)};
    const std::string prefixes[2] = {RecordPrefix(key), LegacyPrefix(name, incoming)};
    for (int layout = 0; layout < 2; ++layout) {
        const RecordListing* listing = listingOf(folders[layout]);
        if (!listing) continue;
        found->name = listing->FirstRecord(prefixes[layout], &found->old);
        if (found->name.empty()) continue;
        found->folder = folders[layout];
        found->several = listing->CountRecords(prefixes[layout]) > 1;
        return true;
    }
    return false;
}
