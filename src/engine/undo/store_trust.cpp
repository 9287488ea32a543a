#include "engine/undo/store_trust.h"

#include <cstring>
#include <vector>

#include "platform/file_basic_information.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

// Well-known SIDs, as their bytes: revision, count, authority, then the
// sub-authorities in little-endian order.
const unsigned char kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const unsigned char kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
// NT SERVICE\TrustedInstaller, S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464.
const unsigned char kTrustedInstaller[] = {1, 6, 0, 0, 0, 0, 0, 5, 80, 0, 0, 0,
                                           0xB5, 0x89, 0xFB, 0x38, 0x19, 0x84, 0xC2, 0xCB,
                                           0x5C, 0x6C, 0x23, 0x6D, 0x57, 0x00, 0x77, 0x6E,
                                           0xC0, 0x02, 0x64, 0x87};
const unsigned char kCreatorOwner[] = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};

const BYTE kAccessAllowed = 0;
const BYTE kObjectAndContainerInherit = 0x01 | 0x02;
const BYTE kInheritOnly = 0x08;
const BYTE kInherited = 0x10;
const WORD kDaclPresent = 0x0004;
const WORD kDaclProtected = 0x1000;
const WORD kSelfRelative = 0x8000;
// Writing, creating, deleting, or changing who may: FILE_WRITE_DATA,
// FILE_APPEND_DATA, FILE_DELETE_CHILD, DELETE, WRITE_DAC, WRITE_OWNER and
// the generic rights that hold them.
const DWORD kChangingRights = 0x0002 | 0x0004 | 0x0040 | 0x00010000 | 0x00040000 | 0x00080000 | 0x40000000 | 0x10000000;

size_t SidLength(const unsigned char* sid) { return 8 + 4 * static_cast<size_t>(sid[1]); }

bool SameSid(const unsigned char* a, const unsigned char* b) {
    return SidLength(a) == SidLength(b) && std::memcmp(a, b, SidLength(a)) == 0;
}

void Put16(unsigned char* at, WORD value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* at, DWORD value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

WORD Get16(const unsigned char* at) { return static_cast<WORD>(at[0] | at[1] << 8); }

DWORD Get32(const unsigned char* at) {
    return static_cast<DWORD>(at[0]) | static_cast<DWORD>(at[1]) << 8 | static_cast<DWORD>(at[2]) << 16 |
           static_cast<DWORD>(at[3]) << 24;
}

// One inheritable full-control entry for sid at at: its size.
size_t PutFullControl(unsigned char* at, const unsigned char* sid) {
    const size_t size = 8 + SidLength(sid);
    at[0] = kAccessAllowed;
    at[1] = kObjectAndContainerInherit;
    Put16(at + 2, static_cast<WORD>(size));
    Put32(at + 4, FILE_ALL_ACCESS);
    std::memcpy(at + 8, sid, SidLength(sid));
    return size;
}

// The account the installer runs as.
std::vector<unsigned char> OwnAccount() {
    std::vector<unsigned char> sid;
    HANDLE raw = nullptr;
    if (!g_os.OpenProcessToken(g_os.GetCurrentProcess(), TOKEN_QUERY, &raw)) return sid;
    ScopedKernelHandle token(raw);
    unsigned char buffer[256];
    DWORD size = 0;
    if (g_os.GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) {
        const unsigned char* user = static_cast<const unsigned char*>(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
        if (user[1] <= 15) sid.assign(user, user + SidLength(user));
    }
    return sid;
}

bool Trusted(const unsigned char* sid, const std::vector<unsigned char>& own) {
    return SameSid(sid, kSystem) || SameSid(sid, kAdministrators) || SameSid(sid, kTrustedInstaller) ||
           (!own.empty() && SameSid(sid, own.data()));
}

// Whether the ACL at acl (size bytes of the descriptor left) lets only trusted
// principals change anything; *inherited says whether an entry came from
// the parent.
bool OnlyTrustedMayChange(const unsigned char* acl, size_t size, const std::vector<unsigned char>& own,
                          bool* inherited) {
    if (size < 8) return false;
    const size_t aclSize = Get16(acl + 2), count = Get16(acl + 4);
    if (aclSize > size) return false;
    size_t at = 8;
    for (size_t i = 0; i < count; ++i) {
        if (at + 8 > aclSize) return false;
        const unsigned char* ace = acl + at;
        const size_t aceSize = Get16(ace + 2);
        if (aceSize < 8 || at + aceSize > aclSize) return false;
        *inherited = *inherited || (ace[1] & kInherited) != 0;
        const unsigned char* sid = ace + 8;
        const bool allows = ace[0] == kAccessAllowed || ace[0] > 3;  // deny and audit entries take nothing
        const bool creatorOwnerToCome = (ace[1] & kInheritOnly) != 0 && aceSize >= 8 + 12 && SameSid(sid, kCreatorOwner);
        if (allows && (Get32(ace + 4) & kChangingRights) != 0 && !creatorOwnerToCome &&
            (ace[0] != kAccessAllowed || aceSize < 8 + 8 || 8 + SidLength(sid) > aceSize || !Trusted(sid, own))) {
            return false;
        }
        at += aceSize;
    }
    return true;
}

}  // namespace

StoreSecurity::StoreSecurity(const Machine& machine) : m_machine(machine), m_attributes(), m_descriptor() {
    const size_t aclAt = 20;
    size_t at = aclAt + 8;
    at += PutFullControl(m_descriptor + at, kSystem);
    at += PutFullControl(m_descriptor + at, kAdministrators);
    m_descriptor[aclAt] = 2;  // ACL_REVISION
    Put16(m_descriptor + aclAt + 2, static_cast<WORD>(at - aclAt));
    Put16(m_descriptor + aclAt + 4, 2);
    m_descriptor[0] = 1;  // SECURITY_DESCRIPTOR_REVISION
    Put32(m_descriptor + 16, static_cast<DWORD>(aclAt));
    m_attributes.nLength = sizeof m_attributes;
    m_attributes.lpSecurityDescriptor = m_descriptor;
    m_attributes.bInheritHandle = FALSE;
}

const void* StoreSecurity::Descriptor() {
    // NT 4.0 knows no protected DACL: there the explicit DACL alone.
    const bool protects = m_machine.osClass != QMX_OS_NT4;
    Put16(m_descriptor + 2, static_cast<WORD>(kSelfRelative | kDaclPresent | (protects ? kDaclProtected : 0)));
    return m_descriptor;
}

SECURITY_ATTRIBUTES* StoreSecurity::Attributes() {
    if (!Nt()) return nullptr;
    Descriptor();
    return &m_attributes;
}

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool CanJudge(const StoreSecurity& security) {
    return security.Nt() && g_os.GetSecurityInfo && g_os.SetKernelObjectSecurity;
}

// The folder's owner and DACL, read through folder, judged; path for the
// DACL made ours.
StoreTrust JudgeOpenFolder(HANDLE handle, const std::string& path, StoreSecurity& security, DWORD* error) {
    ScopedFile folder(handle);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    ScopedLocal descriptor;
    const DWORD status = g_os.GetSecurityInfo(folder.Get(), SE_FILE_OBJECT,
                                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                              &dacl, nullptr, descriptor.Receive());
    if (status == ERROR_NOT_SUPPORTED || status == ERROR_INVALID_FUNCTION || status == ERROR_CALL_NOT_IMPLEMENTED) {
        return StoreTrust::kNoSecurity;
    }
    if (status != ERROR_SUCCESS) {
        *error = status;
        return StoreTrust::kUnreadable;
    }
    // A volume that keeps no security gives no owner.
    if (!owner) return StoreTrust::kNoSecurity;
    const std::vector<unsigned char> own = OwnAccount();
    const unsigned char* start = static_cast<const unsigned char*>(descriptor.Get());
    const unsigned char* acl = reinterpret_cast<const unsigned char*>(dacl);
    bool inherited = false;
    // No DACL at all lets everyone do everything.
    if (!Trusted(static_cast<const unsigned char*>(owner), own) || !acl ||
        !OnlyTrustedMayChange(acl, 0x10000, own, &inherited)) {
        *error = kForeignStore;
        return StoreTrust::kForeign;
    }
    if ((Get16(start + 2) & kDaclProtected) != 0 || !inherited) return StoreTrust::kTrusted;
    // Made ours on first use: the parent's entries no longer reach it.
    folder.Reset(g_os.CreateFileA(path.c_str(), READ_CONTROL | WRITE_DAC, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.IsValid() || !g_os.SetKernelObjectSecurity(folder.Get(), DACL_SECURITY_INFORMATION,
                                                           const_cast<void*>(security.Descriptor()))) {
        *error = g_os.GetLastError();
        return StoreTrust::kUnreadable;
    }
    return StoreTrust::kTrusted;
}

}  // namespace

StoreTrust JudgeStoreFolder(const std::string& path, StoreSecurity& security, DWORD* error) {
    if (!CanJudge(security)) return StoreTrust::kNoSecurity;
    const HANDLE folder = g_os.CreateFileA(path.c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        *error = g_os.GetLastError();
        return StoreTrust::kUnreadable;
    }
    return JudgeOpenFolder(folder, path, security, error);
}

bool CanJudgeStanding(const StoreSecurity& security) { return CanJudge(security) && g_os.NtQueryInformationFile; }

StoreTrust JudgeStandingFolder(const std::string& path, StoreSecurity& security, DWORD* error) {
    ScopedFile folder(g_os.CreateFileA(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    if (!folder.IsValid()) {
        *error = g_os.GetLastError();
        return *error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND ? StoreTrust::kAbsent
                                                                                 : StoreTrust::kUnreadable;
    }
    BasicFileInformation info = {};
    IO_STATUS_BLOCK status = {};
    const NTSTATUS queried =
        g_os.NtQueryInformationFile(folder.Get(), &status, &info, sizeof info, kFileBasicInformation);
    if (queried < 0) {
        *error = ERROR_ACCESS_DENIED;
        return StoreTrust::kUnreadable;
    }
    if (!IsPlainFolder(info.fileAttributes)) {
        *error = ERROR_DIRECTORY;
        return StoreTrust::kNotPlain;
    }
    return JudgeOpenFolder(folder.Release(), path, security, error);
}
