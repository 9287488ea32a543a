// Whether the store of kept copies is the installer's own: anyone who could
// write it could plant a record whose name and bytes agree, which /undo, run
// as an administrator, would put into the system folder.
//
// The trusted principals are Administrators, SYSTEM and TrustedInstaller,
// and the account the installer runs as, an administrator (under Wine every
// file is its own). A folder of the store is trusted when one of them owns it
// and its DACL lets no one else write, create, delete or change permissions
// (inherit-only CREATOR OWNER entries aside). On 95/98/Me and on volumes that
// keep no security (FAT) there is nothing to check.
#pragma once

#include <windows.h>

#include <string>

#include "engine/site/machine.h"

// Error code of a store that is not trusted: ERROR_INVALID_SECURITY_DESCR.
constexpr DWORD kForeignStore = 1338;

enum class StoreTrust {
    kTrusted,     // ours, and its DACL explicit and protected (or made so now)
    kNoSecurity,  // 95/98/Me, or a volume without security: nothing to check
    kForeign,     // someone else's, or open to someone else
    kUnreadable,  // its security could not be read: the error says why
    kAbsent,      // JudgeStandingFolder: nothing stands at the path
    kNotPlain,    // JudgeStandingFolder: a file, a junction or a link stands there
};

// The security a new folder of the store is made with: Administrators and
// SYSTEM full control, nothing inherited (NT 4.0, which knows no protected
// DACL, gets the explicit DACL alone); null on 95/98/Me.
class StoreSecurity {
public:
    // machine must outlive this; its family is asked at each use.
    explicit StoreSecurity(const Machine& machine);
    SECURITY_ATTRIBUTES* Attributes();
    // Whether the machine is of the NT family, whose folders keep security.
    bool Nt() const { return m_machine.osClass != QMX_OS_WIN9X; }
    const void* Descriptor();

private:
    const Machine& m_machine;
    SECURITY_ATTRIBUTES m_attributes;
    // A self-relative descriptor: its header, then the DACL of two entries.
    alignas(4) unsigned char m_descriptor[20 + 8 + 2 * (8 + 12) + 4];
};

// The folder at path judged as above. A trusted folder whose DACL is
// inherited (as every store of an earlier installer's is) gets the store's
// own DACL first.
StoreTrust JudgeStoreFolder(const std::string& path, StoreSecurity& security, DWORD* error);

// Whether a file of these attributes is a plain folder: a junction or link
// would put the kept copies wherever it points.
inline bool IsPlainFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Whether JudgeStandingFolder can be asked: the security can be judged, and
// a handle's attributes read (NtQueryInformationFile).
bool CanJudgeStanding(const StoreSecurity& security);
// JudgeStoreFolder of whatever stands at path, opened as itself (a junction
// or link is not followed) and its attributes read through the same handle:
// one open, with no moment between a look at what stands there and its
// judgement.
StoreTrust JudgeStandingFolder(const std::string& path, StoreSecurity& security, DWORD* error);
