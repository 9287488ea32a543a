#include "platform/file_search.h"

#include "platform/ansi_text.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

bool FindFile(const std::string& path, WIN32_FIND_DATAA* data) {
    ScopedFind find(g_os.FindFirstFileA(path.c_str(), data));
    return find.IsValid();
}

bool ListFiles(const std::string& folder, std::string* names, DWORD* error) {
    WIN32_FIND_DATAA data;
    ScopedFind find(g_os.FindFirstFileA(JoinPath(folder, "*").c_str(), &data));
    if (!find.IsValid()) {
        const DWORD failure = g_os.GetLastError();
        if (failure == ERROR_FILE_NOT_FOUND || failure == ERROR_NO_MORE_FILES) return true;
        *error = failure;
        return false;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names->append(data.cFileName).push_back('\n');
    } while (g_os.FindNextFileA(find.Get(), &data));
    return true;
}
