#include <cstring>
#include <string>

#include "engine/install_environment.h"
#include "log/debug_log.h"
#include "log/log_format.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

const uint32_t kVersionTextSize = MAX_PATH;

// A version resource holds at most 64 KiB (its length is a 16-bit field), and
// the platform asks for twice that and 4 bytes more, room for the texts it
// converts. A larger size comes from a damaged resource directory: reading it
// would have the platform copy past the end of the file (Wine faults there),
// after an allocation of up to 4 GiB.
const DWORD kMaxVersionInfoSize = 2 * 0x10000 + 4;

// Like _stricmp in the "C" locale: only A to Z fold; every other byte, a
// double-byte character's included, must match exactly.
bool EqualIgnoringAsciiCase(const char* a, const char* b) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (fold(*a) != fold(*b)) return false;
    }
    return *a == *b;
}

// The version numbers decide; QMX_COMP_SAME when they do not.
int32_t CompareVersionNumbers(const VersionNumbers& v1, const VersionNumbers& v2) {
    const int32_t first[] = {v1.major, v1.minor, v1.third};
    const int32_t second[] = {v2.major, v2.minor, v2.third};
    static const char* const kFirstNewer[] = {
        "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (1).\r\n",
        "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (2).\r\n",
        "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (3).\r\n"};
    static const char* const kSecondNewer[] = {
        "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (1).\r\n",
        "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (2).\r\n",
        "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (3).\r\n"};
    for (int i = 0; i < 3; ++i) {
        if (first[i] > second[i]) {
            DebugLog("%s", kFirstNewer[i]);
            return QMX_COMP_FILE1_IS_NEW;
        }
        if (first[i] < second[i]) {
            DebugLog("%s", kSecondNewer[i]);
            return QMX_COMP_FILE2_IS_NEW;
        }
    }
    DebugLog("CompareTimeStamp : QMX_COMP_SAME (1).\r\n");
    return QMX_COMP_SAME;
}

int32_t CompareLastWriteTimes(const FILETIME& time1, const FILETIME& time2) {
    const LONG order = g_os.CompareFileTime(&time1, &time2);
    if (order > 0) {
        DebugLog("CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (4).\r\n");
        return QMX_COMP_FILE1_IS_NEW;
    }
    if (order < 0) {
        DebugLog("CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (4).\r\n");
        return QMX_COMP_FILE2_IS_NEW;
    }
    DebugLog("CompareTimeStamp : QMX_COMP_SAME (3).\r\n");
    return QMX_COMP_SAME;
}

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

int32_t InstallEnvironment::CompareTimeStamp(std::string file1, std::string file2) {
    int exists1 = 0;
    int exists2 = 0;
    FILETIME time1 = {};
    FILETIME time2 = {};
    HANDLE handle1 = OpenFileTimeStamp(file1, &exists1, &time1);
    HANDLE handle2 = OpenFileTimeStamp(file2, &exists2, &time2);

    // Both handles stay open until the result is known: without delete
    // sharing, neither file can be removed or renamed under the comparison.
    int32_t result = QMX_COMP_SAME;
    if (!exists1 && !exists2) {
        DebugLog("CompareTimeStamp [3] - Not exist %s, %s.\r\n", file1.c_str(), file2.c_str());
        result = QMX_COMP_BOTH_NOT_EXIST;
    } else if (!exists1) {
        DebugLog("CompareTimeStamp [2] - Not exist %s.\r\n", file1.c_str());
        result = QMX_COMP_FILE1_NOT_EXIST;
    } else if (!exists2) {
        DebugLog("CompareTimeStamp [1] - Not exist %s.\r\n", file2.c_str());
        result = QMX_COMP_FILE2_NOT_EXIST;
    } else {
        char version1[kVersionTextSize];
        char version2[kVersionTextSize];
        const int read1 = QmxGetVersion(file1, version1, sizeof version1);
        const int read2 = QmxGetVersion(file2, version2, sizeof version2);
        if (read1 != 1 || read2 != 1) {
            DebugLog("CompareTimeStamp : QMX_COMP_SAME (3) QmxGetVersion is faild [%d:%d].\r\n",
                     read1, read2);
        } else {
            DebugLog("CompareTimeStamp [4a] - %s is \"%s\".\r\n", file1.c_str(), version1);
            DebugLog("CompareTimeStamp [4b] - %s is \"%s\".\r\n", file2.c_str(), version2);
            if (EqualIgnoringAsciiCase(version1, version2)) {
                DebugLog("CompareTimeStamp : QMX_COMP_SAME (2).\r\n");
            } else {
                VersionNumbers numbers1;
                VersionNumbers numbers2;
                ParseVersionString(version1, &numbers1);
                ParseVersionString(version2, &numbers2);
                result = CompareVersionNumbers(numbers1, numbers2);
            }
        }
        if (result == QMX_COMP_SAME) result = CompareLastWriteTimes(time1, time2);
    }

    CloseFileTimeStamp(handle1);
    CloseFileTimeStamp(handle2);
    return result;
}

int InstallEnvironment::QmxGetVersion(std::string fileName, char* buffer, uint32_t bufferSize) {
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

void InstallEnvironment::ParseVersionString(std::string text, VersionNumbers* numbers) {
    ParseVersionText(text.c_str(), numbers);
}

HANDLE InstallEnvironment::OpenFileTimeStamp(std::string fileName, int* exists,
                                             FILETIME* lastWriteTime) {
    int found = 0;
    HANDLE handle = g_os.CreateFileA(fileName.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        FILETIME written = {};
        found = g_os.GetFileTime(handle, nullptr, nullptr, &written) ? 1 : 0;
        if (found && lastWriteTime != nullptr) *lastWriteTime = written;
    }
    if (exists != nullptr) *exists = found;
    return handle;
}

void InstallEnvironment::CloseFileTimeStamp(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE) g_os.CloseHandle(handle);
}
