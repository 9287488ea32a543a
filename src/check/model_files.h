// The files a what-if's steps have written, over the folders as the probe
// sees them: the model's paths are written as the target writes them, in
// its code page, and split and joined by the run's own rules (a root of the
// model's own, then the name). Only Probe turns one into a path of this
// machine.
#pragma once

#include <map>
#include <string>

#include "check/module_probe.h"
#include "engine/seal/sha256.h"

class ModelFiles {
public:
    // root (such as "S:") stands for folder, a path of this machine.
    void MapRoot(const std::string& root, const std::string& folder) { m_roots[root] = folder; }

    // What path holds: what a step wrote there, else what the probe finds.
    ModuleProbe Probe(const std::string& path) const;
    // The SHA-256 of what path holds: 1, or 0 when it cannot be read.
    int DigestAt(const std::string& path, Sha256Digest* digest) const;
    // What a step leaves at path: copy, the bytes and last-write time of from.
    void Put(const std::string& path, ModuleProbe copy, const std::string& from);

private:
    // The folder of this machine that path's root stands for.
    const std::string& FolderFor(const std::string& path) const;

    std::map<std::string, std::string> m_roots;
    // By path upper-cased, as Windows finds a file.
    std::map<std::string, ModuleProbe> m_written;
    std::map<std::string, Sha256Digest> m_digests;
};
