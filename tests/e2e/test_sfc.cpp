// An sfc.dll of the tests' own, for a Wine whose built-in one protects
// nothing. SfcIsFileProtected says yes for the file names listed in the
// environment variable QMX_TEST_PROTECTED (separated by ';', compared without
// regard to case with the last part of the path asked about). Every path
// asked about is appended, one a line in UTF-8, to the file that
// QMX_TEST_SFC_ASKED names, so a test sees which path was asked.
#include <windows.h>

namespace {

void RecordAsked(LPCWSTR path) {
    WCHAR record[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"QMX_TEST_SFC_ASKED", record, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    char line[4 * MAX_PATH];
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, path, -1, line, sizeof line - 2, nullptr, nullptr);
    if (length <= 0) return;
    line[length - 1] = '\n';
    HANDLE file = ::CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI TestSfcIsFileProtected(HANDLE rpc, LPCWSTR path) {
    if (rpc != nullptr || path == nullptr) return FALSE;
    RecordAsked(path);
    const WCHAR* name = path;
    for (const WCHAR* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    WCHAR list[1024];
    const DWORD n = ::GetEnvironmentVariableW(L"QMX_TEST_PROTECTED", list, 1024);
    if (n == 0 || n >= 1024) return FALSE;
    for (WCHAR* item = list; *item;) {
        WCHAR* end = item;
        while (*end && *end != L';') ++end;
        const WCHAR kept = *end;
        *end = L'\0';
        if (*item && ::lstrcmpiW(item, name) == 0) return TRUE;
        if (!kept) break;
        item = end + 1;
    }
    return FALSE;
}
