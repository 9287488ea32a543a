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

#include "engine/seal/sha256.h"
#include "engine/site/module_site.h"
#include "platform/scoped_handle.h"

// What a copy takes over from the file it stands in for (likePath).
struct CopyLike {
    // What a directory search found of path, whose attributes and creation
    // time the copy takes; null to take none.
    const WIN32_FIND_DATAA* found = nullptr;
    const std::string& path;
    // On the NT family: path's owner and DACL too, when found is given.
    bool security = false;
    // path's own bytes hashed too, through the handle that reads its
    // security, so that a module about to be kept is opened once.
    bool hash = false;
};

// Whether the file at path could be read whole, into digest; with sealed its
// bytes must hash to that, else false with ERROR_CRC. false with the
// reading's error otherwise.
bool ReadDigest(const std::string& path, const Sha256Digest* sealed, Sha256Digest* digest, DWORD* error);

// 95/98/Me, which can neither replace a file nor rename over one: source's
// bytes copied onto dest itself, as the installer always has there. kDone,
// or kFailed with error.
SwapResult CopyOnto(const std::string& source, const std::string& dest, DWORD* error);

// A flushed copy of a file under a temporary name of its own, removed when
// this goes away unless it has been moved to its place: the one way a
// module's new bytes, a staged copy, a kept copy or the store's listing are
// written.
class PreparedCopy {
public:
    PreparedCopy() = default;
    ~PreparedCopy();
    PreparedCopy(const PreparedCopy&) = delete;
    PreparedCopy& operator=(const PreparedCopy&) = delete;

    // source's bytes and last-write time in a new temporary file in folder,
    // on disk, made like like.path as like says. Digest() is then the
    // SHA-256 of the bytes read back from disk; with sealed they must be
    // those, or it fails with ERROR_CRC. With like.hash, LikeDigest() is the
    // digest of like.path's own bytes, or null when they could not be read,
    // and LikeFile() the handle that read them (on the NT family), open
    // until the copy moves. true, or false with the failing step's error.
    bool Write(const std::string& source, const std::string& folder, const CopyLike& like,
               const Sha256Digest* sealed, DWORD* error);
    // bytes in the temporary file path, made or written over, not flushed:
    // for a listing, which nothing reads back and a power cut may leave
    // short, in a folder only this installer writes to, so that the name
    // need not be a fresh one. true, or false with the failing step's error.
    bool WriteBytes(const std::string& path, const std::string& bytes, DWORD* error);
    const Sha256Digest& Digest() const { return m_digest; }
    const Sha256Digest* LikeDigest() const { return m_likeHashed ? &m_likeDigest : nullptr; }
    HANDLE LikeFile() const { return m_likeFile.IsValid() ? m_likeFile.Get() : nullptr; }

    // One MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH,
    // so dest's name never stands empty: kDone, kBusy when another process
    // holds dest, or kFailed with error. For the NT family only.
    SwapResult SwapInto(const std::string& dest, DWORD* error);
    // To target, which need not exist: renamed over it on the NT family
    // (renameOver), the rename on disk before this returns unless not
    // writeThrough; on 95/98/Me, which cannot rename over a file, target is
    // deleted just before. true, or false with error.
    bool MoveTo(const std::string& target, bool renameOver, DWORD* error, bool writeThrough = true);

private:
    // A new temporary file in folder, named m_path: true, or false with error.
    bool Create(const std::string& folder, DWORD* error);

    std::string m_path;
    Sha256Digest m_digest = {};
    Sha256Digest m_likeDigest = {};
    bool m_likeHashed = false;
    ScopedFile m_likeFile;
};
