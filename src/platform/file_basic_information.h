// FILE_BASIC_INFORMATION, which only the driver kit's headers declare: a
// file's times and attributes, read or set in one call through a handle
// (NtQueryInformationFile, NtSetInformationFile). A time left at zero is not
// set.
#pragma once

#include <windows.h>
#include <winternl.h>

struct BasicFileInformation {
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    ULONG fileAttributes;
};
static_assert(sizeof(BasicFileInformation) == 40, "the system checks the length it is given");

const FILE_INFORMATION_CLASS kFileBasicInformation = static_cast<FILE_INFORMATION_CLASS>(4);

inline FILETIME FileTimeOf(const LARGE_INTEGER& time) {
    FILETIME converted;
    converted.dwLowDateTime = time.LowPart;
    converted.dwHighDateTime = static_cast<DWORD>(time.HighPart);
    return converted;
}
