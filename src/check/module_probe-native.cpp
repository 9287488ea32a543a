// The build machine's side: the folder is listed to find the name whatever
// its case, and the version resource is read from the file's bytes.
#include "check/module_probe.h"

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

namespace {

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

// Seconds from 1601 to 1970, the two epochs.
const uint64_t kEpochDifference = 11644473600ull;

}  // namespace

std::string JoinFolder(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool FolderExists(const std::string& folder) {
    struct stat info;
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

ModuleProbe ProbeModule(const std::string& folder, const std::string& name) {
    ModuleProbe probe;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return probe;
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        if (SameIgnoringAsciiCase(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    if (found.empty()) return probe;

    probe.listed = true;
    probe.path = JoinFolder(folder, found);
    struct stat info;
    if (::stat(probe.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return probe;
    std::ifstream in(probe.path, std::ios::binary);
    if (!in) return probe;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    probe.opened = true;
    probe.version = ReadModuleVersion(bytes);
    probe.lastWrite = (static_cast<uint64_t>(info.st_mtim.tv_sec) + kEpochDifference) * 10000000ull +
                      static_cast<uint64_t>(info.st_mtim.tv_nsec) / 100;
    return probe;
}
