// Checking a package folder against its seal (QMX_CHG.SUM) before anything
// is installed from it.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/seal_file.h"

enum class SealVerdict {
    kOk,           // sealed, and every check passed
    kAbsent,       // no seal: the package is installed as it is
    kDoesNotMatch, // name's bytes are not the sealed ones, or it cannot be read
    kNotListed,    // name is a [File] module in the folder that the seal lacks
    kDamaged,      // the seal's own lines are wrong
};

struct SealCheck {
    SealVerdict verdict = SealVerdict::kOk;
    std::string name;  // upper-cased; for kDoesNotMatch and kNotListed only
};

// The package folder as the check sees it.
class PackageFolder {
public:
    virtual ~PackageFolder() = default;
    // Whether the folder holds a file (not a subfolder) of that name, in any
    // case.
    virtual bool Contains(const std::string& name) = 0;
    // 1 with the file's digest; 0 when it cannot be read whole.
    virtual int Hash(const std::string& name, Sha256Digest* digest) = 0;
};

// The digests a passed check vouched for, so that a module's copy can be
// hashed again just before it takes the installed module's place.
class SealedDigests {
public:
    void Assign(std::vector<SealLine> lines);
    // The sealed digest of name (upper-cased as the run holds it), or null
    // when the seal does not list it or no seal vouched for anything.
    const Sha256Digest* Find(const std::string& name) const;
    bool Empty() const { return m_lines.empty(); }

private:
    std::vector<SealLine> m_lines;
    std::vector<size_t> m_order;  // OrderByKey(m_lines)
};

// Checks the package against seal, its text, or null when there is none;
// fileEntries are the change list's [File] entries in order, as the run
// holds them. The first fault in this order is the one named:
//   1. the seal's own lines (ReadSeal);
//   2. QMX_CHG.DAT: it must be listed and match;
//   3. each [File] entry that the folder holds, in order: it must be listed
//      and match (a name listed twice is hashed once; an entry that is not a
//      plain file name is left to the run, which refuses it);
//   4. every other line of the seal, in its order: its file must be in the
//      folder and match. A [File] module the seal lists but the folder lacks
//      is one of these: it "does not match".
// When the check passes and vouched is given, it receives the seal's digests.
SealCheck CheckSeal(const std::string* seal, const std::deque<std::string>& fileEntries,
                    PackageFolder& folder, const NameRules& rules, SealedDigests* vouched = nullptr);

// The one log line naming check's fault, CR LF included; "" for kOk and
// kAbsent.
std::string SealFaultLine(const SealCheck& check);

// Windows only: checks the package in programDir (the folder the change
// list was read from) against its QMX_CHG.SUM; fileList is the run's
// FileList. 1 when the package is sealed and whole, or not sealed; 0 when it
// must not be installed, after logging SealFaultLine. An unreadable seal, or
// one larger than kMaxSealSize, is damaged. vouched, when given, receives
// the sealed digests of a whole package, and stays empty for an unsealed one.
int VerifyPackage(const std::string& programDir, const std::deque<std::string>& fileList,
                  SealedDigests* vouched = nullptr);
