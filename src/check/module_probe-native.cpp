// The build machine's side: the folder is listed to find the name whatever
// its case, and the version resource and machine are read from the file's
// bytes.
#include "check/module_probe.h"

#include <dirent.h>
#include <locale.h>
#include <sys/stat.h>
#include <wctype.h>

#include "check/text_encoding.h"
#include "check/whole_file.h"
#include "platform/ansi_text.h"

namespace {

// Seconds from 1601 to 1970, the two epochs.
const uint64_t kEpochDifference = 11644473600ull;

// The code points of well-formed UTF-8, upper-cased as the C library's
// UTF-8 locale does (Windows folds more than ASCII: é matches É).
std::u32string FoldedCodePoints(const std::string& utf8) {
    static const locale_t s_utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::u32string folded;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    for (size_t at = 0; at < utf8.size();) {
        const size_t length = Utf8Encoding().CharLength(bytes + at, utf8.size() - at);
        char32_t c = length == 1 ? bytes[at] : bytes[at] & (0x7F >> length);
        for (size_t i = 1; i < length; ++i) c = c << 6 | (bytes[at + i] & 0x3F);
        if (s_utf8) {
            c = static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), s_utf8));
        } else if (c < 0x80) {
            c = static_cast<unsigned char>(UpperAscii(static_cast<char>(c)));
        }
        folded += c;
        at += length;
    }
    return folded;
}

}  // namespace

const char kLocalSeparator = '/';

bool FolderExists(const std::string& folder) {
    struct stat info;
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name;
        struct stat info;
        if (::stat(JoinPath(folder, entry->d_name, kLocalSeparator).c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            LocalTextToPackageText(entry->d_name, &name)) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

ModuleProbe ProbeModule(const std::string& folder, const std::string& name) {
    ModuleProbe probe;
    std::string utf8;
    if (!PackageTextToUtf8(name, &utf8)) {
        probe.unnamable = true;
        return probe;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return probe;
    const std::u32string wanted = FoldedCodePoints(utf8);
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        if (FoldedCodePoints(entry->d_name) == wanted) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    if (found.empty()) return probe;

    probe.listed = true;
    probe.name = found;
    probe.path = JoinPath(folder, found, kLocalSeparator);
    struct stat info;
    if (::stat(probe.path.c_str(), &info) != 0) return probe;
    probe.directory = S_ISDIR(info.st_mode);
    if (!S_ISREG(info.st_mode)) return probe;
    std::string bytes;
    if (!ReadWholeFile(probe.path, &bytes)) return probe;
    probe.opened = true;
    probe.version = ReadModuleVersion(bytes);
    MemoryBytes image(bytes);
    probe.machine = ReadModuleMachine(image);
    probe.lastWrite = (static_cast<uint64_t>(info.st_mtim.tv_sec) + kEpochDifference) * 10000000ull +
                      static_cast<uint64_t>(info.st_mtim.tv_nsec) / 100;
    return probe;
}
