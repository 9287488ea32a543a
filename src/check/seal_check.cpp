#include "check/seal_check.h"

#include <cstdio>
#include <deque>
#include <iterator>
#include <set>

#include "changelist/text_case.h"
#include "check/module_probe.h"
#include "engine/file_hash.h"

namespace {

const NameRules kRules = {&IsAnsiLeadByte, &UpperCaseAnsi};
const char kChangeListName[] = "QMX_CHG.DAT";
const char kProgramName[] = "QMXSET.EXE";

// The folder as the module probe sees it, which matches names ignoring case
// also where the build machine's file system does not.
class ProbedFolder : public PackageFolder {
public:
    explicit ProbedFolder(const std::string& folder) : m_folder(folder) {}
    bool Contains(const std::string& name) override { return ProbeModule(m_folder, name).opened; }
    int Hash(const std::string& name, Sha256Digest* digest) override {
        const ModuleProbe probe = ProbeModule(m_folder, name);
        uint32_t error = 0;
        return probe.opened && HashFile(probe.path, digest, &error) == 1 ? 1 : 0;
    }

private:
    std::string m_folder;
};

enum class SealRead { kRead, kAbsent, kDamaged };

SealRead ReadSealText(const std::string& folder, std::string* text) {
    const ModuleProbe probe = ProbeModule(folder, kSealFileName);
    if (!probe.listed) return SealRead::kAbsent;
    // The C library's files, not the C++ streams: those bring in imports
    // that the oldest Windows the check runs on lack.
    std::FILE* in = probe.opened ? std::fopen(probe.path.c_str(), "rb") : nullptr;
    if (in == nullptr) return SealRead::kDamaged;
    char block[4096];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
        text->append(block, got);
        if (text->size() > kMaxSealSize) break;
    }
    const bool failed = std::ferror(in) != 0 || text->size() > kMaxSealSize;
    std::fclose(in);
    return failed ? SealRead::kDamaged : SealRead::kRead;
}

std::string FindingText(const SealCheck& check) {
    switch (check.verdict) {
    case SealVerdict::kDoesNotMatch:
        return check.name + " does not match the seal (changed, unreadable or missing since it was "
                            "sealed): the installer installs nothing";
    case SealVerdict::kNotListed:
        return check.name + " is in the package but not in the seal: the installer installs nothing";
    default:
        return "damaged (a line not as sha256sum writes it, a name that is not a plain file name, or "
               "a name listed twice): the installer installs nothing";
    }
}

}  // namespace

SealCheck CheckFolderSeal(const std::string& folder, const std::deque<std::string>& fileEntries) {
    std::string text;
    const SealRead read = ReadSealText(folder, &text);
    if (read == SealRead::kAbsent) return SealCheck{SealVerdict::kAbsent, std::string()};
    if (read == SealRead::kDamaged) return SealCheck{SealVerdict::kDamaged, std::string()};
    ProbedFolder probed(folder);
    return CheckSeal(&text, fileEntries, probed, kRules);
}

void AddSealFindings(PackageReport& report) {
    std::deque<std::string> entries;
    for (const FileReport& file : report.files) entries.push_back(file.name);
    const SealCheck check = CheckFolderSeal(report.folder, entries);
    if (check.verdict == SealVerdict::kOk) return;
    if (check.verdict == SealVerdict::kAbsent) {
        report.findings.push_back({Severity::WARNING, kSealFileName,
                                   "missing: the package is not sealed, and a module changed on its way "
                                   "is installed all the same; qmxcheck --seal makes one"});
        return;
    }
    report.findings.push_back({Severity::ERROR, kSealFileName, FindingText(check)});
}

int SealPackage(const std::string& folder, std::string* text, std::string* problem) {
    const PackageReport report = CheckPackage(folder);
    if (!report.changeListRead) {
        *problem = "no readable QMX_CHG.DAT in " + folder;
        return 0;
    }
    std::vector<std::string> names = {kChangeListName};
    for (const FileReport& file : report.files) {
        if (file.plain && file.probe.opened) names.push_back(file.name);
    }
    names.push_back(kProgramName);
    std::set<std::string> sealed;
    text->clear();
    for (std::string name : names) {
        const ModuleProbe probe = ProbeModule(folder, name);
        UpperCaseAnsi(name);
        if (!probe.opened || !sealed.insert(name).second) continue;
        Sha256Digest digest;
        uint32_t error = 0;
        if (HashFile(probe.path, &digest, &error) != 1) {
            *problem = "cannot read " + probe.path + " (error " + std::to_string(error) + ")";
            return 0;
        }
        // The name as the folder has it: sha256sum -c on a file system that
        // tells case apart must find it.
        *text += SealLineText(digest, probe.path.substr(probe.path.size() - name.size()));
    }
    const ModuleProbe existing = ProbeModule(folder, kSealFileName);
    const std::string path = existing.listed ? existing.path : JoinFolder(folder, kSealFileName);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool written = out != nullptr && std::fwrite(text->data(), 1, text->size(), out) == text->size();
    const bool closed = out != nullptr && std::fclose(out) == 0;
    if (!written || !closed) {
        *problem = "cannot write " + path;
        return 0;
    }
    return 1;
}

int RunSealCommand(const std::string& folder) {
    std::string text, problem;
    if (SealPackage(folder, &text, &problem) != 1) {
        std::fprintf(stderr, "qmxcheck: %s\n", problem.c_str());
        return 2;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
