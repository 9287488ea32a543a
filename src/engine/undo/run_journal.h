// The record of an all-or-nothing run in progress ([Rollback] ON), kept in
// the store as RUNnnnn.TMP for as long as the run lasts: the package, and
// each change the run is about to make and has made, with the digests the
// run knew then. A run killed halfway leaves it, and the next start of the
// installer rolls that run back by it alone, without the package.
//
// Text, a line each, written and flushed as the run goes:
//   QMXRUN 1
//   P FOLDER                   the package's folder, for the log
//   I IDENTITY                 its PackageIdentity, for the records' keys
//   C N|S KEPT INCOMING NAME   about to change NAME now (N) or at the
//                              restart (S): KEPT the bytes kept, INCOMING
//                              the package's copy
//   D NAME                     that change made
// The run holds the file open, sharing nothing, until it removes it: a start
// that cannot open it leaves it to the run that still goes on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/seal/sha256.h"
#include "platform/scoped_handle.h"

struct JournalChange {
    std::string name;
    bool staged = false;  // for the restart, not now
    Sha256Digest kept = {};
    Sha256Digest incoming = {};
    bool made = false;
};

struct JournalContents {
    std::string packageFolder;
    Sha256Digest package = {};
    std::vector<JournalChange> changes;
};

// The text read back: true with its contents; false for a file that is not
// such a record. A last line cut short by a crash is left out.
bool ParseJournal(const std::string& text, JournalContents* contents);

class RunJournal {
public:
    RunJournal() = default;
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    bool Started() const { return m_file.IsValid(); }
    // A new record in store for the package in packageFolder: true, or false
    // with the failing step's error.
    bool Begin(const std::string& store, const std::string& packageFolder, const Sha256Digest& package,
               DWORD* error);
    // The change of name the run is about to make, on disk before it is made.
    bool About(const JournalChange& change, DWORD* error);
    // That it is made.
    bool Made(const std::string& name, DWORD* error);
    // What the run noted of name, or null.
    const JournalChange* Find(const std::string& name) const;
    // The record removed: the run has ended.
    void End();

private:
    bool Append(const std::string& line, DWORD* error);

    ScopedFile m_file;
    std::string m_path;
    std::vector<JournalChange> m_changes;
};

// Whether a file the store's listing found is a run's record (RUN*.TMP, as
// GetTempFileNameA names it): one that is there at the start of a run is of
// a run that ended without removing it.
bool IsJournalName(const WIN32_FIND_DATAA& data);
// A record's contents, read whole: true, or false when it cannot be read
// (held by a run, or not a record).
bool ReadJournal(const std::string& path, JournalContents* contents);
