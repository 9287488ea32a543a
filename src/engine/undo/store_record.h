// The names in the store of kept copies: the one owner of the record format,
// for the installer and for the what-if, which must find a record where the
// installer would, by the same rule, and nowhere else. Free of Win32.
//
// One file per kept copy, named NAME.NEW.OLD: NAME the listed module as the
// change list gives it, NEW the SHA-256 of the bytes that replaced it (the
// package's copy: the key), OLD the SHA-256 of the kept bytes, each as 64
// lower-case hexadecimal digits. The name is the record.
//
// Each record lies in one of sixteen folders, 0 to f, chosen by
// StoreFolderIndex of NAME and NEW (QMX_UNDO\a\NAME.NEW.OLD).
#pragma once

#include <cstddef>
#include <string>

#include "engine/seal/sha256.h"

// The store's sixteen folders, by StoreFolderIndex.
constexpr char kStoreFolderDigits[] = "0123456789abcdef";
constexpr size_t kStoreFolders = sizeof kStoreFolderDigits - 1;

// Which folder holds name's records for incoming: the sum of name's bytes,
// its letters as capitals (Windows finds the module whatever their case),
// and of incoming's first byte, modulo 16. The name spreads the records of
// a package whose modules share their bytes.
size_t StoreFolderIndex(const std::string& name, const Sha256Digest& incoming);

// Whether name is one of the store's folders (its digit in either case):
// true with its index.
bool StoreFolderOf(const char* name, size_t* index);

// The start of every record of name for incoming's bytes: "NAME.NEW.".
std::string RecordPrefix(const std::string& name, const Sha256Digest& incoming);

struct StoreRecord {
    std::string name;  // the listed module
    Sha256Digest incoming;
    Sha256Digest old;
};

// Whether fileName is a record, read into record.
bool ParseStoreRecord(const std::string& fileName, StoreRecord* record);

// The files of one of the store's folders as a plain text searched whole,
// each name after a line end and before one, in the order they were listed.
class RecordListing {
public:
    // names: file names, each followed by a line end (as ListFiles gives them).
    void AddNames(const std::string& names) { m_names += names; }
    void Add(const std::string& name) { m_names.append(name).push_back('\n'); }
    void Drop(const std::string& name);
    bool Has(const std::string& name) const;

    // The first name listed that is a record under prefix (RecordPrefix),
    // with OLD read into old; empty for none. Names match as written, case
    // and all, as Windows lists them; a search also lists short names, and
    // this keeps to the long ones.
    std::string FirstRecord(const std::string& prefix, Sha256Digest* old) const;
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
