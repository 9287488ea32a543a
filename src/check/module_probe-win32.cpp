// The Windows side: the installer's own existence test, time stamp, version
// query and machine reader, and the platform's fixed file version.
#include "check/module_probe.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "engine/local/module_file_machine.h"
#include "engine/version/version_compare.h"
#include "engine/version/version_info_limit.h"
#include "platform/ansi_text.h"
#include "platform/file_search.h"
#include "platform/os_calls.h"

namespace {

void ReadPlatformFixedVersion(const std::string& path, ModuleVersion* version) {
    DWORD ignored = 0;
    const DWORD size = g_os.GetFileVersionInfoSizeA(path.c_str(), &ignored);
    // As the installer: a damaged size would ask for up to 4 GiB.
    if (size == 0 || size > kMaxVersionInfoSize) return;
    std::vector<char> block(size);
    if (!g_os.GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return;
    void* value = nullptr;
    UINT length = 0;
    if (!g_os.VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return;
    }
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    if (fixed.dwSignature != 0xFEEF04BD) return;
    version->hasNumbers = true;
    version->numbers[0] = HIWORD(fixed.dwFileVersionMS);
    version->numbers[1] = LOWORD(fixed.dwFileVersionMS);
    version->numbers[2] = HIWORD(fixed.dwFileVersionLS);
    version->numbers[3] = LOWORD(fixed.dwFileVersionLS);
}

}  // namespace

const char kLocalSeparator = '\\';

std::vector<std::string> ListFolder(const std::string& folder) {
    std::string listed;
    DWORD error = 0;
    // A folder the search cannot read lists no file, as the build
    // machine's side has it.
    ListFiles(folder, &listed, &error);
    std::vector<std::string> names;
    for (size_t at = 0, end; (end = listed.find('\n', at)) != std::string::npos; at = end + 1) {
        names.push_back(listed.substr(at, end - at));
    }
    return names;
}

bool FolderExists(const std::string& folder) {
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

ModuleProbe ProbeModule(const std::string& folder, const std::string& name) {
    ModuleProbe probe;
    probe.path = JoinPath(folder, name);
    WIN32_FIND_DATAA found;
    probe.listed = FindFile(probe.path, &found);
    probe.directory = probe.listed && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Found by its short name, the file keeps the name it was asked by.
    probe.name = probe.listed && EqualsIgnoringAsciiCase(found.cFileName, name) ? found.cFileName : name;
    VersionCompare compare;
    int exists = 0;
    FILETIME written = {};
    HANDLE handle = compare.OpenFileTimeStamp(probe.path, &exists, &written);
    compare.CloseFileTimeStamp(handle);
    probe.opened = exists == 1;
    if (!probe.opened) return probe;
    probe.lastWrite = static_cast<uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    char text[MAX_PATH];
    if (compare.QmxGetVersion(probe.path, text, sizeof text) == 1) {
        probe.version.hasText = true;
        probe.version.text = text;
    }
    ReadPlatformFixedVersion(probe.path, &probe.version);
    probe.machine = MachineOfFile(probe.path);
    return probe;
}
