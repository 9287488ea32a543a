#include "floor_install.h"

#include <windows.h>
#include <aclapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/undo/hard_link.h"
#include "engine/undo/store_record.h"
#include "platform/os_calls.h"

namespace {

bool ReadAll(const std::string& path, std::string* text) {
    HANDLE file = g_os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD size = g_os.GetFileSize(file, nullptr);
    text->resize(size);
    DWORD got = 0;
    const BOOL ok = size == 0 || g_os.ReadFile(file, &(*text)[0], size, &got, nullptr);
    g_os.CloseHandle(file);
    return ok && got == size;
}

// The [File] lines of the list, which the benchmark writes plainly: one name
// a line, no blanks, no comments.
std::vector<std::string> FileNames(const std::string& text) {
    std::vector<std::string> names;
    bool inside = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        const std::string line = text.substr(start, stop - start);
        start = end + 1;
        if (!line.empty() && line[0] == '[') {
            if (inside) break;
            inside = line == "[File]";
        } else if (inside && !line.empty()) {
            names.push_back(line);
        }
    }
    return names;
}

// The first three FileVersion numbers, or false when there are none.
bool ReadVersion(const std::string& path, long numbers[3]) {
    DWORD ignored = 0;
    const DWORD size = g_os.GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<char> block(size);
    if (!g_os.GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
    WORD* translation = nullptr;
    UINT length = 0;
    if (!g_os.VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translation), &length) ||
        length < 4) {
        return false;
    }
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", translation[0],
                  translation[1]);
    char* text = nullptr;
    if (!g_os.VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&text), &length) || !text) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        numbers[i] = std::strtol(text, &text, 10);
        if (*text == '.' || *text == ',') ++text;
    }
    return true;
}

bool LastWriteTime(const std::string& path, FILETIME* written) {
    HANDLE file = g_os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = g_os.GetFileTime(file, nullptr, nullptr, written);
    g_os.CloseHandle(file);
    return ok != FALSE;
}

// Whether the shipped copy is newer: by version, then by time.
bool ShippedIsNewer(const std::string& shipped, const std::string& installed) {
    FILETIME shippedTime;
    FILETIME installedTime;
    if (!LastWriteTime(shipped, &shippedTime) || !LastWriteTime(installed, &installedTime)) {
        return false;
    }
    long v1[3];
    long v2[3];
    if (ReadVersion(shipped, v1) && ReadVersion(installed, v2)) {
        for (int i = 0; i < 3; ++i) {
            if (v1[i] != v2[i]) return v1[i] > v2[i];
        }
    }
    return ::CompareFileTime(&shippedTime, &installedTime) > 0;
}

// The module's DACL, read through its open handle, on temp.
bool CopyDacl(HANDLE module, const char* temp) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (g_os.GetSecurityInfo(module, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    HANDLE file = g_os.CreateFileA(temp, READ_CONTROL | WRITE_DAC, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    g_os.SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, descriptor) != FALSE;
    if (file != INVALID_HANDLE_VALUE) g_os.CloseHandle(file);
    g_os.LocalFree(descriptor);
    return ok;
}

// The installer's steps without its checks: the module opened once, for its
// DACL and (with a store) the link to it, and closed before the rename.
bool DurableCopy(const std::string& shipped, const std::string& installed, const std::string& name,
                 const std::string& systemDir, const std::string& storeDir) {
    char temp[MAX_PATH];
    if (!g_os.GetTempFileNameA(systemDir.c_str(), "QMX", 0, temp)) return false;
    HANDLE module = g_os.CreateFileA(installed.c_str(), READ_CONTROL | GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = module != INVALID_HANDLE_VALUE && g_os.CopyFileA(shipped.c_str(), temp, FALSE) != FALSE &&
              CopyDacl(module, temp);
    if (ok) {
        HANDLE file = g_os.CreateFileA(temp, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = file != INVALID_HANDLE_VALUE && g_os.FlushFileBuffers(file);
        if (file != INVALID_HANDLE_VALUE) g_os.CloseHandle(file);
    }
    if (ok && !storeDir.empty()) {
        // In one of sixteen folders, as the installer spreads its records:
        // a name created among thousands costs Wine a look at each.
        const Sha256Digest key = RecordKey(Sha256Digest(), name);
        const std::string folder = storeDir + "\\" + kStoreFolderDigits[RecordFolder(key)];
        const std::string link = folder + "\\" + RecordPrefix(key) + DigestHex(key);
        ok = LinkFile(link, installed, module) ||
             (g_os.GetLastError() == ERROR_PATH_NOT_FOUND && g_os.CreateDirectoryA(folder.c_str(), nullptr) &&
              LinkFile(link, installed, module));
    }
    if (module != INVALID_HANDLE_VALUE) g_os.CloseHandle(module);
    ok = ok && g_os.MoveFileExA(temp, installed.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) g_os.DeleteFileA(temp);
    return ok;
}

}  // namespace

long FloorInstall(const std::string& changeListPath, const std::string& programDir,
                  const std::string& systemDir, FloorCopy copy, const std::string& storeDir) {
    std::string text;
    if (!ReadAll(changeListPath, &text)) return -1;
    long copied = 0;
    for (const std::string& name : FileNames(text)) {
        const std::string shipped = programDir + "\\" + name;
        const std::string installed = systemDir + "\\" + name;
        WIN32_FIND_DATAA found;
        HANDLE find = g_os.FindFirstFileA(installed.c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) continue;
        g_os.FindClose(find);
        if (!ShippedIsNewer(shipped, installed)) continue;
        if (copy == FloorCopy::kDurable ? DurableCopy(shipped, installed, name, systemDir, storeDir)
                                        : g_os.CopyFileA(shipped.c_str(), installed.c_str(), FALSE)) {
            ++copied;
        }
    }
    return copied;
}
