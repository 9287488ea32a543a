#include "engine/undo/hard_link.h"

#include <cstddef>
#include <cstring>

#include "platform/os_calls.h"

namespace {

// FILE_LINK_INFORMATION, which only the driver kit's headers declare.
struct LinkInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};

// By hand: the C library's wide-text functions are not in every Windows'
// msvcrt that this program starts on.
bool SameWide(const WCHAR* a, const WCHAR* b) {
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

const FILE_INFORMATION_CLASS kFileLinkInformation = static_cast<FILE_INFORMATION_CLASS>(11);

// link as the NT name that CreateHardLinkA would make of it, "\??\X:\...",
// in name (MAX_PATH + 4 characters), and its length; 0 for anything but a
// drive path that Win32 leaves as it is, so that the two ways name the same
// file.
size_t NtName(const std::string& link, WCHAR* name) {
    WCHAR wide[MAX_PATH];
    WCHAR full[MAX_PATH];
    if (!g_os.GetFullPathNameW || link.size() >= MAX_PATH ||
        g_os.MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, link.c_str(), -1, wide, MAX_PATH) == 0) {
        return 0;
    }
    const DWORD length = g_os.GetFullPathNameW(wide, MAX_PATH, full, nullptr);
    if (length < 3 || length >= MAX_PATH || !SameWide(full, wide)) return 0;
    const bool letter = (full[0] >= L'a' && full[0] <= L'z') || (full[0] >= L'A' && full[0] <= L'Z');
    if (!letter || full[1] != L':' || full[2] != L'\\') return 0;
    std::memcpy(name, L"\\??\\", 4 * sizeof(WCHAR));
    std::memcpy(name + 4, full, (length + 1) * sizeof(WCHAR));
    return length + 4;
}

bool LinkOpenFile(HANDLE open, const std::string& link) {
    if (open == nullptr || open == INVALID_HANDLE_VALUE || !g_os.NtSetInformationFile) return false;
    WCHAR name[MAX_PATH + 4];
    const size_t nameBytes = NtName(link, name) * sizeof(WCHAR);
    if (nameBytes == 0) return false;
    union {
        LinkInformation info;
        unsigned char bytes[sizeof(LinkInformation) + sizeof name];
    } buffer;
    std::memset(&buffer, 0, sizeof buffer);
    buffer.info.replaceIfExists = FALSE;  // as CreateHardLinkA: never over a name
    buffer.info.rootDirectory = nullptr;
    buffer.info.fileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(buffer.info.fileName, name, nameBytes);
    size_t length = offsetof(LinkInformation, fileName) + nameBytes;
    if (length < sizeof(LinkInformation)) length = sizeof(LinkInformation);
    IO_STATUS_BLOCK status = {};
    return g_os.NtSetInformationFile(open, &status, &buffer, static_cast<ULONG>(length), kFileLinkInformation) >= 0;
}

}  // namespace

bool LinkFile(const std::string& link, const std::string& existing, HANDLE open) {
    // Any refusal (an access rule, a volume without links, a name taken)
    // leaves the documented call to say what it says.
    if (LinkOpenFile(open, link)) return true;
    return g_os.CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) != FALSE;
}
