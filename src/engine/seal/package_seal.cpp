#include "engine/seal/package_seal.h"

#include <vector>

#include "engine/seal/seal_signature.h"
#include "platform/ansi_text.h"
#include "changelist/plain_file_name.h"
#include "log/debug_log.h"
#include "platform/text_case.h"

namespace {

// The seal's lines by name, to look them up, and which have been checked.
class SealIndex {
public:
    explicit SealIndex(const std::vector<SealLine>& lines)
        : m_lines(lines), m_order(OrderByKey(lines)), m_checked(lines.size()) {}

    // The line for key, or -1.
    long Find(const std::string& key) const { return FindByKey(m_lines, m_order, key); }
    bool Checked(size_t i) const { return m_checked[i]; }
    void MarkChecked(size_t i) { m_checked[i] = true; }

private:
    const std::vector<SealLine>& m_lines;
    std::vector<size_t> m_order;
    std::vector<bool> m_checked;
};

bool Matches(PackageFolder& folder, const SealLine& line, const std::string& name) {
    Sha256Digest digest;
    return folder.Hash(name, &digest) == 1 && digest == line.digest;
}

SealCheck Fault(SealVerdict verdict, const std::string& name) { return SealCheck{verdict, name}; }

}  // namespace

void SealedDigests::Assign(std::vector<SealLine> lines) {
    m_lines = std::move(lines);
    m_order = OrderByKey(m_lines);
}

const Sha256Digest* SealedDigests::Find(const std::string& name) const {
    const long at = FindByKey(m_lines, m_order, name);
    return at < 0 ? nullptr : &m_lines[at].digest;
}

SealCheck CheckSeal(const std::string* seal, const std::deque<std::string>& fileEntries,
                    PackageFolder& folder, const NameRules& rules, SealedDigests* vouched) {
    if (seal == nullptr) return SealCheck{SealVerdict::kAbsent, std::string()};
    std::vector<SealLine> lines;
    if (ReadSeal(*seal, rules, &lines) != 1) return Fault(SealVerdict::kDamaged, std::string());
    SealIndex index(lines);

    const long changeList = index.Find(kChangeListName);
    if (changeList < 0 || !Matches(folder, lines[changeList], kChangeListName)) {
        return Fault(SealVerdict::kDoesNotMatch, kChangeListName);
    }
    index.MarkChecked(changeList);

    for (const std::string& entry : fileEntries) {
        std::string key = entry;
        rules.upperCase(key);
        const long at = index.Find(key);
        if (at >= 0 && index.Checked(at)) continue;
        if (!IsPlainFileName(entry)) continue;
        if (at < 0) {
            if (folder.Contains(entry)) return Fault(SealVerdict::kNotListed, key);
            continue;
        }
        // Hashed first, and searched for only when it cannot be read: a
        // directory search costs as much as reading the module where the
        // folder holds many files.
        if (!Matches(folder, lines[at], entry)) {
            if (!folder.Contains(entry)) continue;  // absent: left to the usual rules
            return Fault(SealVerdict::kDoesNotMatch, key);
        }
        index.MarkChecked(at);
    }

    // A sealed file gone missing cannot be read: it does not match.
    for (size_t i = 0; i < lines.size(); ++i) {
        if (index.Checked(i)) continue;
        if (!Matches(folder, lines[i], lines[i].key)) return Fault(SealVerdict::kDoesNotMatch, lines[i].key);
    }
    if (vouched != nullptr) vouched->Assign(std::move(lines));
    return SealCheck{SealVerdict::kOk, std::string()};
}

SealCheck VerifyPackage(PackageFolder& folder, const std::deque<std::string>& fileList,
                        const std::string* publisher, SealedDigests* vouched) {
    std::string text, signature;
    const SealRead read = folder.ReadSealText(&text);
    SealCheck check{SealVerdict::kDamaged, std::string()};
    if (read == SealRead::kAbsent) {
        if (publisher == nullptr) return SealCheck{SealVerdict::kAbsent, std::string()};
        check.verdict = SealVerdict::kMissing;
    } else if (read == SealRead::kRead) {
        // The very text whose signature is checked is the one whose lines
        // are: a seal read twice could change in between.
        if (publisher != nullptr && (folder.ReadSealSignature(&signature) != SealRead::kRead ||
                                     CheckSealSignature(signature, text, publisher).state !=
                                         SealSignatureState::kVerified)) {
            check.verdict = SealVerdict::kNotPublishers;
        } else {
            const NameRules rules = {&UpperCaseAnsi};
            check = CheckSeal(&text, fileList, folder, rules, vouched);
        }
    }
    if (check.verdict != SealVerdict::kOk) DebugLog("%s", SealFaultLine(check).c_str());
    return check;
}

std::string SealFaultLine(const SealCheck& check) {
    switch (check.verdict) {
    case SealVerdict::kDoesNotMatch:
        return "VerifyPackage - " + check.name + " does not match QMX_CHG.SUM.\r\n";
    case SealVerdict::kNotListed:
        return "VerifyPackage - " + check.name + " is not in QMX_CHG.SUM.\r\n";
    case SealVerdict::kDamaged:
        return "VerifyPackage - QMX_CHG.SUM is damaged.\r\n";
    case SealVerdict::kMissing:
        return "VerifyPackage - QMX_CHG.SUM is missing.\r\n";
    case SealVerdict::kNotPublishers:
        return "VerifyPackage - QMX_CHG.SUM is not signed by the publisher of QMXSET.EXE.\r\n";
    default:
        return std::string();
    }
}
