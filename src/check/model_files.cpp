#include "check/model_files.h"

#include "check/seal_check.h"
#include "platform/ansi_text.h"
#include "platform/text_case.h"

namespace {

std::string Key(std::string path) {
    UpperCaseAnsi(path);
    return path;
}

}  // namespace

const std::string& ModelFiles::FolderFor(const std::string& path) const {
    static const std::string kNone;
    const auto folder = m_roots.find(FolderOf(path));
    return folder != m_roots.end() ? folder->second : kNone;
}

ModuleProbe ModelFiles::Probe(const std::string& path) const {
    const auto written = m_written.find(Key(path));
    if (written != m_written.end()) return written->second;
    return ProbeModule(FolderFor(path), NameOf(path));
}

int ModelFiles::DigestAt(const std::string& path, Sha256Digest* digest) const {
    const auto written = m_digests.find(Key(path));
    if (written != m_digests.end()) {
        *digest = written->second;
        return 1;
    }
    if (m_written.count(Key(path))) return 0;
    return ProbedPackage(FolderFor(path)).Hash(NameOf(path), digest);
}

void ModelFiles::Put(const std::string& path, ModuleProbe copy, const std::string& from) {
    Sha256Digest digest;
    const bool hashed = DigestAt(from, &digest) == 1;
    copy.listed = copy.opened;
    copy.path = path;
    m_written[Key(path)] = copy;
    if (hashed) {
        m_digests[Key(path)] = digest;
    } else {
        m_digests.erase(Key(path));
    }
}
