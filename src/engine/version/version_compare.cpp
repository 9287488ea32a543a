#include "engine/version/version_compare.h"

#include <cstring>
#include <string>

#include "engine/version/version_info_limit.h"
#include "log/debug_log.h"
#include "log/log_format.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

const uint32_t kVersionTextSize = MAX_PATH;

// Copies the zero-terminated text at source into buffer, at most
// bufferSize - 1 bytes, and never reads at or past sourceEnd: a resource
// whose string runs to the end of its block must not lead us beyond it.
void CopyVersionText(const char* source, const char* sourceEnd, char* buffer,
                     uint32_t bufferSize) {
    for (uint32_t i = 0; i + 1 < bufferSize && source + i < sourceEnd && source[i] != '\0'; ++i) {
        buffer[i] = source[i];
    }
}

}  // namespace

int32_t VersionCompare::CompareTimeStamp(const std::string& file1, const std::string& file2) {
    return CompareTimeStamp(file1, INVALID_HANDLE_VALUE, file2, INVALID_HANDLE_VALUE);
}

int32_t VersionCompare::CompareTimeStamp(const std::string& file1, HANDLE open1, const std::string& file2,
                                         HANDLE open2) {
    ModuleFacts first;
    ModuleFacts second;
    first.path = file1;
    second.path = file2;
    int exists1 = 0;
    int exists2 = 0;
    FILETIME time1 = {};
    FILETIME time2 = {};
    const HANDLE handle1 = UseFileTimeStamp(file1, open1, &exists1, &time1);
    const HANDLE handle2 = UseFileTimeStamp(file2, open2, &exists2, &time2);
    first.exists = exists1 != 0;
    second.exists = exists2 != 0;
    first.lastWrite = static_cast<uint64_t>(time1.dwHighDateTime) << 32 | time1.dwLowDateTime;
    second.lastWrite = static_cast<uint64_t>(time2.dwHighDateTime) << 32 | time2.dwLowDateTime;

    // Both handles stay open until the result is known: without delete
    // sharing, neither file can be removed or renamed under the comparison.
    if (first.exists && second.exists) {
        char version1[kVersionTextSize];
        char version2[kVersionTextSize];
        first.versionRead = QmxGetVersion(file1, version1, sizeof version1);
        second.versionRead = QmxGetVersion(file2, version2, sizeof version2);
        if (first.versionRead == 1) first.version = version1;
        if (second.versionRead == 1) second.version = version2;
    }
    const int32_t result = CompareModules(first, second);

    CloseFileTimeStamp(handle1);
    CloseFileTimeStamp(handle2);
    return result;
}

int VersionCompare::QmxGetVersion(const std::string& fileName, char* buffer, uint32_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    std::memset(buffer, 0, bufferSize);

    DWORD ignored = 0;
    const DWORD size = g_os.GetFileVersionInfoSizeA(fileName.c_str(), &ignored);
    if (size == 0 || size > kMaxVersionInfoSize) return 0;
    ScopedLocal block(g_os.LocalAlloc(LMEM_FIXED, size));
    if (!block.IsValid()) return 0;
    std::memset(block.Get(), 0, size);
    if (g_os.GetFileVersionInfoA(fileName.c_str(), 0, size, block.Get()) != 1) return 0;
    // The platform converts a text it hands out into the block's second half,
    // trusting the length the resource gives itself: a length beyond what the
    // block holds would have it write past the block.
    WORD claimed = 0;
    if (size >= sizeof claimed) std::memcpy(&claimed, block.Get(), sizeof claimed);
    if (2 * static_cast<DWORD>(claimed) + 4 > size) return 0;

    // A Translation value shorter than one entry would have us read a
    // language and code page from whatever follows it.
    void* translation = nullptr;
    UINT translationLength = 0;
    if (!g_os.VerQueryValueA(block.Get(), "\\VarFileInfo\\Translation", &translation,
                             &translationLength) ||
        translation == nullptr || translationLength < sizeof(DWORD)) {
        return 0;
    }
    DWORD first = 0;
    std::memcpy(&first, translation, sizeof first);

    const std::string query = FormatText("\\StringFileInfo\\%04x%04x\\FileVersion",
                                         static_cast<unsigned>(LOWORD(first)),
                                         static_cast<unsigned>(HIWORD(first)));
    void* text = nullptr;
    UINT textLength = 0;
    if (!g_os.VerQueryValueA(block.Get(), query.c_str(), &text, &textLength) ||
        text == nullptr) {
        return 0;
    }

    const char* blockStart = static_cast<const char*>(block.Get());
    const char* source = static_cast<const char*>(text);
    const bool inBlock = source >= blockStart && source < blockStart + size;
    CopyVersionText(source, inBlock ? blockStart + size : source + bufferSize, buffer, bufferSize);
    return 1;
}

HANDLE VersionCompare::OpenToCompare(const std::string& fileName) {
    return g_os.CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE VersionCompare::OpenFileTimeStamp(const std::string& fileName, int* exists,
                                             FILETIME* lastWriteTime) {
    int found = 0;
    HANDLE handle = OpenToCompare(fileName);
    if (handle != INVALID_HANDLE_VALUE) {
        FILETIME written = {};
        found = g_os.GetFileTime(handle, nullptr, nullptr, &written) ? 1 : 0;
        if (found && lastWriteTime != nullptr) *lastWriteTime = written;
    }
    if (exists != nullptr) *exists = found;
    return handle;
}

HANDLE VersionCompare::UseFileTimeStamp(const std::string& fileName, HANDLE open, int* exists,
                                        FILETIME* lastWriteTime) {
    if (open == INVALID_HANDLE_VALUE) return OpenFileTimeStamp(fileName, exists, lastWriteTime);
    *exists = g_os.GetFileTime(open, nullptr, nullptr, lastWriteTime) ? 1 : 0;
    return open;
}

void VersionCompare::CloseFileTimeStamp(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE) g_os.CloseHandle(handle);
}
