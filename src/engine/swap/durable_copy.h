// Writing a module's new bytes beside it and swapping them in, so that a
// crash, a reset or a full disk never leaves a half-written module behind.
//
// The bytes go to a new temporary file in the same folder (GetTempFileNameA,
// "QMXnnnn.TMP", a name no module has), which takes the installed module's
// attributes, creation time and (NT family) security, is flushed to disk and
// only then renamed.
// Every failure removes the temporary file and leaves the module as it was.
#pragma once

#include <windows.h>

#include <string>

#include "engine/run/module_decision.h"
#include "engine/seal/sha256.h"
#include "platform/scoped_handle.h"

// A directory search for path: true with what it found (attributes, times)
// in data. It reads them on every Windows, 95 included, and opens nothing
// that another process could keep it from.
bool FindFile(const std::string& path, WIN32_FIND_DATAA* data);

// Whether the file at path hashes to sealed: false with ERROR_CRC when it
// does not, or with the reading's error.
bool HoldsSealedBytes(const std::string& path, const Sha256Digest& sealed, DWORD* error);

// A flushed copy of a file under a temporary name of its own, removed when
// this goes away unless it has been moved to its place: the one way a
// module's new bytes, a staged copy or a kept copy are written.
class PreparedCopy {
public:
    PreparedCopy() = default;
    ~PreparedCopy();
    PreparedCopy(const PreparedCopy&) = delete;
    PreparedCopy& operator=(const PreparedCopy&) = delete;

    // source's bytes and last-write time in a new temporary file in folder,
    // on disk, with like's attributes and creation time when like is not
    // null (what a directory search found of likePath) and on the NT family
    // (withSecurity) likePath's owner and DACL. Digest() is then the SHA-256
    // of the bytes read back from disk; with sealed they must be those, or
    // it fails with ERROR_CRC. With hashLike, likePath's own bytes are
    // hashed too, through the handle that reads its security, so that a
    // module about to be kept is opened once: LikeDigest() is then their
    // digest, or null when they could not be read, and LikeFile() the handle
    // that read them (on the NT family), open until the copy moves. true, or
    // false with the failing step's error.
    bool Write(const std::string& source, const std::string& folder, const WIN32_FIND_DATAA* like,
               const std::string& likePath, bool withSecurity, const Sha256Digest* sealed,
               DWORD* error, bool hashLike = false);
    const Sha256Digest& Digest() const { return m_digest; }
    const Sha256Digest* LikeDigest() const { return m_likeHashed ? &m_likeDigest : nullptr; }
    HANDLE LikeFile() const { return m_likeFile.IsValid() ? m_likeFile.Get() : nullptr; }

    // One MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH,
    // so dest's name never stands empty: kDone, kBusy when another process
    // holds dest, or kFailed with error. For the NT family only.
    SwapResult SwapInto(const std::string& dest, DWORD* error);
    // To target, which need not exist: renamed over it on the NT family
    // (renameOver); on 95/98/Me, which cannot rename over a file, target is
    // deleted just before. true, or false with error.
    bool MoveTo(const std::string& target, bool renameOver, DWORD* error);

private:
    std::string m_path;
    Sha256Digest m_digest = {};
    Sha256Digest m_likeDigest = {};
    bool m_likeHashed = false;
    ScopedFile m_likeFile;
};

// Replaces dest, a module in folder, with source's bytes and last-write time;
// installed is what a directory search found of dest (its attributes,
// creation time, owner and DACL carry over), or null when dest has vanished.
// By PreparedCopy::SwapInto, for the NT family only. With sealed, the flushed
// copy must hash to it, or nothing is swapped (kFailed, ERROR_CRC): the
// package's file may have changed since its seal was checked.
SwapResult ReplaceDurably(const std::string& source, const std::string& dest,
                          const std::string& folder, const WIN32_FIND_DATAA* installed,
                          DWORD* error, const Sha256Digest* sealed = nullptr);

// Writes source's bytes and last-write time to staging, beside dest, the
// module it is to replace at the next restart, whose attributes and creation
// time it takes (and on the NT family its owner and DACL, which the restart's
// rename keeps). An older staged copy is replaced only by a complete one
// (PreparedCopy::MoveTo). With sealed, the copy must hash to it, as for
// ReplaceDurably. true, or false with the failing step's error.
bool StageDurably(const std::string& source, const std::string& staging, const std::string& dest,
                  const std::string& folder, bool renameOver, DWORD* error,
                  const Sha256Digest* sealed = nullptr);
