// The package folder on Windows, as the installation run checks it before
// it compares the first module.
#include "engine/seal/package_seal.h"

#include "engine/seal/file_hash.h"
#include "engine/seal/seal_signature.h"
#include "platform/ansi_text.h"
#include "platform/file_search.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

class DiskFolder : public PackageFolder {
public:
    explicit DiskFolder(const std::string& path) : m_path(path) {}

    bool Contains(const std::string& name) override {
        WIN32_FIND_DATAA data;
        return FindFile(JoinPath(m_path, name), &data) &&
               (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    int Hash(const std::string& name, Sha256Digest* digest) override {
        uint32_t error = 0;
        return HashFile(JoinPath(m_path, name), digest, &error);
    }
    // Read whole: the seal is small, or damaged.
    SealRead ReadSealText(std::string* text) override {
        return ReadPackageFile(JoinPath(m_path, kSealFileName), kMaxSealSize, text);
    }
    SealRead ReadSealSignature(std::string* bytes) override {
        return ReadPackageFile(JoinPath(m_path, kSealSignatureName), kMaxSealSignatureSize, bytes);
    }

private:
    std::string m_path;
};

}  // namespace

SealRead ReadPackageFile(const std::string& path, size_t limit, std::string* bytes) {
    ScopedFile file(g_os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        const DWORD error = g_os.GetLastError();
        // Anything else (denied, in use, a folder of that name) may hide
        // the file, and is not taken for its absence.
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SealRead::kAbsent
                                                                               : SealRead::kDamaged;
    }
    char block[4096];
    for (;;) {
        DWORD got = 0;
        if (!g_os.ReadFile(file.Get(), block, sizeof block, &got, nullptr) || got > sizeof block) {
            return SealRead::kDamaged;
        }
        if (got == 0) return SealRead::kRead;
        bytes->append(block, got);
        if (bytes->size() > limit) return SealRead::kDamaged;
    }
}

int VerifyPackage(const std::string& programDir, const std::deque<std::string>& fileList,
                  const std::string* publisher, SealedDigests* vouched) {
    DiskFolder folder(programDir);
    const SealVerdict verdict = VerifyPackage(folder, fileList, publisher, vouched).verdict;
    return verdict == SealVerdict::kOk || verdict == SealVerdict::kAbsent ? 1 : 0;
}
