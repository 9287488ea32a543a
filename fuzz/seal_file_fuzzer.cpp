// ReadSeal over arbitrary seals: it must accept exactly what the plain
// reading of the sha256sum format accepts, with the same names, keys and
// digests; what it accepts, written back line by line, reads the same; and
// the check of a folder that holds exactly the sealed bytes passes.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/text_case.h"
#include "engine/seal/package_seal.h"
#include "engine/seal/seal_file.h"
#include "fuzz_check.h"
#include "reference_rules.h"

namespace {

const NameRules kRules = {&UpperCaseAnsi};

// A folder whose files hash to whatever the seal says.
class SealedFolder : public PackageFolder {
public:
    explicit SealedFolder(const std::vector<SealLine>& lines) {
        for (const SealLine& line : lines) m_digests[line.key] = line.digest;
    }
    bool Contains(const std::string& name) override { return m_digests.count(Key(name)) != 0; }
    int Hash(const std::string& name, Sha256Digest* digest) override {
        const auto found = m_digests.find(Key(name));
        if (found == m_digests.end()) return 0;
        *digest = found->second;
        return 1;
    }
    // The fuzzer hands the seal's text to CheckSeal itself.
    SealRead ReadSealText(std::string*) override { return SealRead::kAbsent; }
    SealRead ReadSealSignature(std::string*) override { return SealRead::kAbsent; }

private:
    static std::string Key(std::string name) {
        UpperCaseAnsi(name);
        return name;
    }
    std::map<std::string, Sha256Digest> m_digests;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<SealLine> lines;
    const int read = ReadSeal(text, kRules, &lines);
    std::vector<reference::SealEntry> expected;
    const bool valid = text.size() <= kMaxSealSize && reference::SealLines(text, &expected);
    FUZZ_CHECK(read == (valid ? 1 : 0));
    if (read != 1) return 0;

    FUZZ_CHECK(lines.size() == expected.size());
    std::string written;
    std::deque<std::string> entries;
    for (size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].name == expected[i].name);
        FUZZ_CHECK(lines[i].key == reference::Upper(expected[i].name));
        FUZZ_CHECK(DigestHex(lines[i].digest) == expected[i].hex);
        written += SealLineText(lines[i].digest, lines[i].name);
        entries.push_back(lines[i].key);
    }
    std::vector<SealLine> again;
    FUZZ_CHECK(ReadSeal(written, kRules, &again) == 1 && again.size() == lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(again[i].name == lines[i].name && again[i].digest == lines[i].digest);
    }

    // Whole when the change list is among the sealed files; else the change
    // list is what fails first.
    SealedFolder folder(lines);
    const SealCheck check = CheckSeal(&text, entries, folder, kRules);
    const bool listsChangeList = folder.Contains("QMX_CHG.DAT");
    FUZZ_CHECK(check.verdict == (listsChangeList ? SealVerdict::kOk : SealVerdict::kDoesNotMatch));
    FUZZ_CHECK(listsChangeList || check.name == "QMX_CHG.DAT");
    return 0;
}
