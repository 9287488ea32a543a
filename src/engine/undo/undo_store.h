// The store of kept copies, QMX_UNDO in the Windows folder: each module as it
// was before the installer replaced it, so that /undo or an all-or-nothing
// run can put it back.
//
// One file per kept copy, its name the record (store_record.h). The name
// appears in one step, a hard link to the installed module or the rename of
// a flushed copy, so a crash leaves no record or one whose copy is whole; and
// a copy that no longer hashes to OLD is never put back.
//
// A new name costs a look at every name in its folder on FAT, and under
// Wine, which rules out the other letter cases so: in one folder of
// thousands that look cost as much as the rest of keeping. Records are
// therefore spread over sixteen folders, and a run lists only the folders it
// uses.
//
// SHA256SUMS, in QMX_UNDO, lists every kept copy for sha256sum -c, as
// OLD *a/NAME.NEW.OLD, written again from the folders' files after a run
// that changed the store. It is only a listing.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "engine/seal/sha256.h"
#include "engine/site/machine.h"
#include "engine/undo/store_record.h"

class UndoStore {
public:
    // folder: the store; empty for QMX_UNDO in the Windows folder. On the
    // NT family of machine, which must outlive this, a kept copy may be a
    // hard link and is renamed over an older one. (95/98/Me copy over the
    // module itself, which would change a link's bytes too.)
    explicit UndoStore(const Machine& machine, const std::string& folder = std::string());
    UndoStore(const UndoStore&) = delete;
    UndoStore& operator=(const UndoStore&) = delete;

    // Keeps module, as found by a directory search, as the copy that undoing
    // name's incoming bytes puts back: a hard link where the volume allows
    // one (NT 5.0 and later), else a flushed copy with its last-write and
    // creation times, attributes, owner and DACL. Creates the store, with
    // the Windows folder's inherited ACL, when it is missing; a QMX_UNDO that
    // is not a plain folder (a file, a reparse point) is never used
    // (ERROR_DIRECTORY). moduleDigest, when the caller has just read the
    // module, is its digest; else the module is read here. moduleFile, when
    // not null, is the handle that read it, through which the link is made.
    // true, or false with the failing step's error, and then no record of it.
    bool Keep(const std::string& name, const std::string& module, const WIN32_FIND_DATAA& found,
              const Sha256Digest& incoming, DWORD* error, const Sha256Digest* moduleDigest = nullptr,
              HANDLE moduleFile = nullptr);
    // Removes what Keep kept for name and incoming: it was used, or the
    // module was not replaced after all.
    void Forget(const std::string& name, const Sha256Digest& incoming);
    // The copy kept for name when incoming's bytes replaced it: 1 with its
    // path and the digest it must have; 0 when the store holds none; -1 with
    // error when the store cannot be used.
    int Find(const std::string& name, const Sha256Digest& incoming, std::string* kept,
             Sha256Digest* keptDigest, DWORD* error);
    // At the end of a run: SHA256SUMS again when Keep or Forget changed the
    // store, which is listed afresh when it is next used.
    void Close();

private:
    // One of the store's sixteen folders, as this run has left it.
    struct Shard {
        std::string folder;
        RecordListing names;
        bool listed = false;
        bool changed = false;

        // Removes every record under prefix, from the folder and the listing.
        bool Remove(const std::string& prefix, DWORD* error);
        // Whether name is listed and still in the folder (else it leaves the
        // listing).
        bool Listed(const std::string& name);
    };

    // What Open and OpenShard found.
    enum class Opened { kReady, kMissing, kUnusable };

    // kReady when the store is a plain folder (made when missing and
    // create); kMissing when it is missing; kUnusable with error otherwise.
    Opened Open(bool create, DWORD* error);
    // The same for the folder of name's records for incoming, then listed.
    Opened OpenShard(const std::string& name, const Sha256Digest& incoming, bool create, Shard** shard,
                     DWORD* error);
    // The copy of module kept by a flushed copy, in shard, under prefix.
    bool KeepCopy(Shard* shard, const std::string& prefix, const std::string& module,
                  const WIN32_FIND_DATAA& found, DWORD* error);
    // SHA256SUMS's lines, from every folder's files.
    std::string Sums() const;

    bool Nt() const { return m_machine.osClass != QMX_OS_WIN9X; }

    const Machine& m_machine;
    std::string m_folder;
    bool m_open = false;
    Shard m_shards[kStoreFolders];
};
