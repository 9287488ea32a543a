// The comparison of two modules on disk: reads what decides which is newer
// (whether each opens, its FileVersion text, its last-write time) and asks
// the one decision, CompareModules.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/version/module_order.h"
#include "engine/version/version_string.h"

class VersionCompare {
public:
    // QMX_COMP_*: which of the two files is newer, by FileVersion numbers and
    // then by last-write time, or which of them is missing. Both files stay
    // open, without delete sharing, until the result is known.
    int32_t CompareTimeStamp(const std::string& file1, const std::string& file2);
    // The same with either file open already (INVALID_HANDLE_VALUE: not),
    // as OpenFileTimeStamp opens it, held since an earlier step: the handle
    // is used, and closed here.
    int32_t CompareTimeStamp(const std::string& file1, HANDLE open1, const std::string& file2, HANDLE open2);
    // 1 with the file's FileVersion text, zero-terminated, in buffer; else 0.
    int QmxGetVersion(const std::string& fileName, char* buffer, uint32_t bufferSize);
    // The file opened as the comparison holds it: reading and writing
    // shared, deleting not; INVALID_HANDLE_VALUE when it does not open. A
    // handle held for a later comparison is opened so.
    static HANDLE OpenToCompare(const std::string& fileName);
    // The file opened for shared reading, or INVALID_HANDLE_VALUE; exists is
    // 1 with lastWriteTime filled when the file opened and its time was read.
    HANDLE OpenFileTimeStamp(const std::string& fileName, int* exists, FILETIME* lastWriteTime);
    void CloseFileTimeStamp(HANDLE handle);

private:
    // open when it is a handle, its time read; else OpenFileTimeStamp.
    HANDLE UseFileTimeStamp(const std::string& fileName, HANDLE open, int* exists, FILETIME* lastWriteTime);
};
