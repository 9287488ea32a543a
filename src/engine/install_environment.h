// The installer's record of the machine, and the comparison and deployment
// operations that work from it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/durable_copy.h"
#include "engine/module_order.h"
#include "engine/outcome.h"
#include "engine/version_string.h"

enum : int32_t {
    QMX_OS_NONE = -1,         // not classified
    QMX_OS_WIN9X = 0,         // platform 1: Windows 95, 98, Me
    QMX_OS_NT351 = 1,         // platform 2, 3.51 and up
    QMX_OS_NT4 = 2,           // platform 2, 4.x
    QMX_OS_NT5_OR_LATER = 3,  // platform 2, 5.0 and every later major version
};

enum : int32_t {
    QMX_LOCK_SUCEES = 0,    // opened exclusively, and closed again
    QMX_LOCK_NOTFOUND = 1,  // ERROR_FILE_NOT_FOUND
    QMX_LOCK_INUSE = 2,     // ERROR_SHARING_VIOLATION
    QMX_LOCK_ERROR = 3,     // any other error
};

class InstallEnvironment {
public:
    InstallEnvironment();
    virtual ~InstallEnvironment();

    // --- Probing the machine (filled once, by the installer dialog) ---

    // CheckOsVersion, then m_isAdmin: 1 on the 95/98/Me family, the result of
    // CheckAdministrator on the NT family, 0 when the version is unknown.
    void InitEnvironment();
    // 1 when the reported version was classified into m_osClass; else 0.
    int CheckOsVersion();
    // 1 when the caller's token lists the built-in Administrators group;
    // 0 when it does not, and on any failure.
    int CheckAdministrator();
    void GetSystemDir();
    void GetProgramDir();
    // QMX_LANG_JAPANESE for a Japanese default user language, else
    // QMX_LANG_ENGLISH; also stored in m_language and logged.
    int CheckLanguageEnv();
    // m_isAdmin; logs when it is 0.
    int HaveAuthority();

    // --- Version comparison ---

    // QMX_COMP_*: which of the two files is newer, by FileVersion numbers and
    // then by last-write time, or which of them is missing.
    int32_t CompareTimeStamp(std::string file1, std::string file2);
    // 1 with the file's FileVersion text, zero-terminated, in buffer; else 0.
    int QmxGetVersion(std::string fileName, char* buffer, uint32_t bufferSize);
    void ParseVersionString(std::string text, VersionNumbers* numbers);
    // The file opened for shared reading, or INVALID_HANDLE_VALUE; exists is
    // 1 with lastWriteTime filled when the file opened and its time was read.
    HANDLE OpenFileTimeStamp(std::string fileName, int* exists, FILETIME* lastWriteTime);
    void CloseFileTimeStamp(HANDLE handle);

    // --- File deployment ---

    // Exactly one QMX_INST_* bit for the one file.
    uint32_t CopyTargetFile(std::string fileName, std::string sourceDir);
    // QMX_LOCK_*: whether path can be opened exclusively.
    int32_t LockDestFile(std::string path);
    // 1 when a staged copy is scheduled to replace the file at the next
    // restart: written now, or left by an earlier run and as new as the
    // shipped file or newer; else 0.
    int MoveOnReboot(std::string destDir, std::string sourceDir, std::string fileName);
    std::string ShiftLastLetter(std::string path, int backward);
    // The short form of path, or "" on any failure.
    std::string GetShortPathNameCS(std::string path);
    // 1 when a directory search finds path (a directory counts); else 0.
    int FileExists(std::string path);

    int32_t m_osClass;
    int32_t m_isAdmin;
    int32_t m_language;
    std::string m_systemDir;
    std::string m_programDir;
    uint32_t m_platformId;
    uint32_t m_majorVersion;
    uint32_t m_minorVersion;

private:
    // Puts the shipped copy in the installed one's place now: durably on the
    // NT family, by CopyFileA on 95/98/Me.
    SwapResult ReplaceNow(const std::string& sourcePath, const std::string& destPath,
                          const WIN32_FIND_DATAA* installed, DWORD* error);
    // MoveOnReboot's scheduling of a staged copy on each family: 1 when the
    // restart will carry it out, else 0 with a log line.
    int ScheduleDelayedMove(const std::string& stagingPath, const std::string& destPath);
    int ScheduleRenameEntry(const std::string& stagingPath, const std::string& destPath);
};
