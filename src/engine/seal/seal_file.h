// QMX_CHG.SUM, the package's seal: the SHA-256 of each file it covers, in
// exactly the format sha256sum writes and "sha256sum -c" reads. Free of Win32.
//
// One line per file: 64 hexadecimal digits (either case), a space, a space
// or "*" (text or binary mode: both mean the same bytes), then the file name
// up to the line's end. Lines end in LF or CR LF; the last one may lack it.
// Empty lines are ignored; anything else that is not such a line, comments
// and sha256sum's escaped names included, damages the seal.
#pragma once

#include <string>
#include <vector>

#include "engine/seal/sha256.h"

const char kSealFileName[] = "QMX_CHG.SUM";

// A seal larger than this is damaged: 1 MiB holds some 15 000 lines, far
// more than any package has files.
const size_t kMaxSealSize = 1024 * 1024;

// How the names of the package folder compare: upper-cased by the ANSI code
// page's rules, as the change list's entries are (double-byte characters are
// kept whole).
struct NameRules {
    void (*upperCase)(std::string&);
};

struct SealLine {
    std::string name;  // as written
    std::string key;   // name upper-cased by the rules: how names compare
    Sha256Digest digest;
};

// 1 with the seal's lines in their order; 0 when the seal is damaged: a line
// that is not well formed, a name that is not a plain file name, or a name
// on two lines (ignoring case), or more than kMaxSealSize bytes.
int ReadSeal(const std::string& text, const NameRules& rules, std::vector<SealLine>* lines);

// The indices of lines in the order of their keys, to find a name in them
// without regard to case.
std::vector<size_t> OrderByKey(const std::vector<SealLine>& lines);

// The index of the line whose key is key, looked up through order (as
// OrderByKey gives it); -1 when no line has it.
long FindByKey(const std::vector<SealLine>& lines, const std::vector<size_t>& order,
               const std::string& key);

// The line sha256sum writes for name ("<digest>  <name>\n").
std::string SealLineText(const Sha256Digest& digest, const std::string& name);
