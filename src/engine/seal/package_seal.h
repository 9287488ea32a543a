// Checking a package folder against its seal (QMX_CHG.SUM) before anything
// is installed from it.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/seal/seal_file.h"

enum class SealVerdict {
    kOk,           // sealed, and every check passed
    kAbsent,       // no seal: the package is installed as it is
    kDoesNotMatch, // name's bytes are not the sealed ones, or it cannot be read
    kNotListed,    // name is a [File] module in the folder that the seal lacks
    kDamaged,      // the seal's own lines are wrong
    // The program is signed (a publisher is required):
    kMissing,        // and the package has no seal
    kNotPublishers,  // and the seal is not signed by the program's signer
};

struct SealCheck {
    SealVerdict verdict = SealVerdict::kOk;
    std::string name;  // upper-cased; for kDoesNotMatch and kNotListed only
};

// How the seal itself was found.
enum class SealRead {
    kRead,     // read whole, and no larger than kMaxSealSize
    kAbsent,   // no file of that name: the package is not sealed
    kDamaged,  // there, but it cannot be read whole (denied, in use, a
               // folder of that name, too large): it may hide a seal
};

// The package folder as the check sees it: the real folder for the
// installer, a model of a copy of it for the package check.
class PackageFolder {
public:
    virtual ~PackageFolder() = default;
    // Whether the folder holds a file (not a subfolder) of that name, in any
    // case.
    virtual bool Contains(const std::string& name) = 0;
    // 1 with the file's digest; 0 when it cannot be read whole.
    virtual int Hash(const std::string& name, Sha256Digest* digest) = 0;
    // QMX_CHG.SUM's text.
    virtual SealRead ReadSealText(std::string* text) = 0;
    // QMX_CHG.SUM.p7s's bytes, read whole when it holds no more than
    // kMaxSealSignatureSize.
    virtual SealRead ReadSealSignature(std::string* bytes) = 0;
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

// The check a run makes before it compares the first module: folder's seal
// read and checked against fileList, the run's FileList, with the names'
// rules of the ANSI code page in force. Anything but kOk and kAbsent means
// the package must not be installed, and its SealFaultLine is logged. An
// unreadable seal is damaged. publisher: null for an unsigned program;
// else the signer's certificate of the program (ProgramSigner::Publisher),
// and then the package must have a seal (kMissing), signed over its very
// bytes by that certificate (kNotPublishers), before its lines are checked.
// vouched, when given, receives the sealed digests of a whole package, and
// stays empty for an unsealed one.
SealCheck VerifyPackage(PackageFolder& folder, const std::deque<std::string>& fileList,
                        const std::string* publisher, SealedDigests* vouched = nullptr);

// Windows only: VerifyPackage on the package in programDir, the folder the
// change list was read from: 1 when it may be installed, else 0.
int VerifyPackage(const std::string& programDir, const std::deque<std::string>& fileList,
                  const std::string* publisher, SealedDigests* vouched = nullptr);

// Windows only: the file at path read whole through the call table, for a
// package's seal, its signature and the program's own file: kRead with its
// bytes when it holds no more than limit; kAbsent when there is no such
// file; kDamaged when it cannot be read whole.
SealRead ReadPackageFile(const std::string& path, size_t limit, std::string* bytes);
