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
#include <vector>

#include "engine/seal/sha256.h"
#include "engine/site/machine.h"
#include "engine/undo/store_record.h"
#include "engine/undo/store_trust.h"

class UndoStore {
public:
    // folder: the store; empty for QMX_UNDO in the Windows folder. On the
    // NT family of machine, which must outlive this, a kept copy may be a
    // hard link and is renamed over an older one. (95/98/Me copy over the
    // module itself, which would change a link's bytes too.)
    explicit UndoStore(const Machine& machine, const std::string& folder = std::string());
    UndoStore(const UndoStore&) = delete;
    UndoStore& operator=(const UndoStore&) = delete;

    // The package (its PackageIdentity) whose records Keep makes and Find
    // looks up.
    void UsePackage(const Sha256Digest& package) { m_package = package; }
    const Sha256Digest& Package() const { return m_package; }

    // Keeps module, as found by a directory search, as the copy that undoing
    // this package's change of listed module name puts back: a hard link
    // where the volume allows one (NT 5.0 and later), else a flushed copy
    // with its last-write and creation times, attributes, owner and DACL.
    // Module bytes that are incoming's, the package's own, are no change to
    // keep: the record of the package's first change stays. A record made
    // now replaces the package's older record of the module (whose state
    // someone else's copy has since replaced), and stays new until Settle.
    // Creates the store, with a protected DACL of its own, when it is
    // missing; a QMX_UNDO that is not a plain folder (a file, a reparse
    // point) is never used (ERROR_DIRECTORY), nor one that is not trusted
    // (kForeignStore). moduleDigest, when the caller
    // has just read the module, is its digest; else the module is read here.
    // moduleFile, when not null, is the handle that read it, through which
    // the link is made. true, or false with the failing step's error, and
    // then no record of it.
    bool Keep(const std::string& name, const std::string& module, const WIN32_FIND_DATAA& found,
              const Sha256Digest& incoming, DWORD* error, const Sha256Digest* moduleDigest = nullptr,
              HANDLE moduleFile = nullptr);
    // After the change the last Keep was for: made, and its record stays; or
    // not made, and a record that Keep has just made goes again.
    void Settle(bool made);
    // Removes the record Find finds for name: a restore has used it.
    void Forget(const std::string& name, const Sha256Digest& incoming);
    // The copy kept when this package changed name (or, in the earlier
    // layout, when incoming's bytes replaced it): 1 with its path and the
    // digest it must have; 0 when the store holds none; -1 with error when
    // the store cannot be used.
    int Find(const std::string& name, const Sha256Digest& incoming, std::string* kept,
             Sha256Digest* keptDigest, DWORD* error);
    // The copy kept of name's bytes kept, by this package: 1 with its path;
    // 0 when there is none; -1 with error when the store cannot be used.
    int KeptCopyOf(const std::string& name, const Sha256Digest& kept, std::string* path, DWORD* error);
    // The digest of the module the last Keep was given, kept or not.
    const Sha256Digest& LastKept() const { return m_lastKept; }
    // The store's folder when it stands as a plain folder (it is not made):
    // true with it.
    bool Locate(std::string* folder);
    // The records of runs that ended without removing them, as the store
    // stood when this run first opened it: each whole path.
    const std::vector<std::string>& Journals() const { return m_top.journals; }
    // At the end of a run: SHA256SUMS again when the run changed the store,
    // which is listed afresh when it is next used.
    void Close();

private:
    // One of the store's sixteen folders, as this run has left it.
    struct Shard {
        std::string folder;
        RecordListing names;
        bool listed = false;
        bool changed = false;

        // Removes every record under prefix but keep, from the folder and
        // the listing.
        bool RemoveOthers(const std::string& prefix, const std::string& keep, DWORD* error);
        bool Remove(const std::string& name, DWORD* error);
        // Whether name is listed and still in the folder (else it leaves the
        // listing), with what a search finds of it.
        bool Listed(const std::string& name, WIN32_FIND_DATAA* data);
        bool Listed(const std::string& name) {
            WIN32_FIND_DATAA data;
            return Listed(name, &data);
        }
    };

    // What Open and OpenShard found.
    enum class Opened { kReady, kMissing, kUnusable };

    // kReady when the store is a plain folder (made when missing and
    // create); kMissing when it is missing; kUnusable with error otherwise.
    Opened Open(bool create, DWORD* error);
    // The same for folder index of the store, then listed.
    Opened OpenShard(size_t index, bool create, Shard** shard, DWORD* error);
    // The listing of folder index, or null when it cannot be had.
    const RecordListing* Listing(size_t index);
    // The copy of module kept by a flushed copy, in shard, under prefix:
    // true with its record's name.
    bool KeepCopy(Shard* shard, const std::string& prefix, const std::string& module,
                  const WIN32_FIND_DATAA& found, std::string* record, DWORD* error);
    // SHA256SUMS's lines, from every folder's files.
    std::string Sums() const;

    bool Nt() const { return m_machine.osClass != QMX_OS_WIN9X; }

    // The store's own entries, listed once a run when it is first opened: the
    // sixteen folders as a search finds them, and the records of unfinished
    // runs. Under Wine every search scans the folder, so each folder's own
    // search, and one more of the store for SHA256SUMS, would cost a run
    // that replaces one module a tenth of its time. known is false when the
    // listing could not be had: every folder is then searched for.
    struct TopListing {
        bool known = false;
        bool found[kStoreFolders] = {};
        bool sums = false;  // SHA256SUMS stood
        WIN32_FIND_DATAA folders[kStoreFolders];
        std::vector<std::string> journals;
    };
    void ListTop(bool made);

    const Machine& m_machine;
    std::string m_folder;
    StoreSecurity m_security;
    bool m_open = false;
    Sha256Digest m_package = {};
    Shard m_shards[kStoreFolders];
    TopListing m_top;
    Sha256Digest m_lastKept = {};
    // The record the last Keep made, until Settle.
    Shard* m_freshShard = nullptr;
    std::string m_fresh;
};
