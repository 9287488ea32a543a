// qmx_state: prints one line per file: name, FileVersion and last-write time
// (UTC), or "-" where the file or its version is absent. The demo uses it to
// show the system directory before and after an installation.
//
// Usage: qmx_state FOLDER NAME...
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return "-";
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return "-";
    DWORD* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(DWORD)) {
        return "-";
    }
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion",
                  LOWORD(*translation), HIWORD(*translation));
    char* text = nullptr;
    if (!::VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&text), &length) || !text) {
        return "-";
    }
    return text;
}

std::string LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return "-";
    SYSTEMTIME t;
    ::FileTimeToSystemTime(&data.ftLastWriteTime, &t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qmx_state FOLDER NAME...\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::printf("  %-14s %-12s %s\n", "file", "FileVersion", "last write (UTC)");
    for (int i = 2; i < argc; ++i) {
        const std::string path = folder + "\\" + argv[i];
        if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::printf("  %-14s %-12s %s\n", argv[i], "(absent)", "");
            continue;
        }
        std::printf("  %-14s %-12s %s\n", argv[i], FileVersion(path).c_str(),
                    LastWrite(path).c_str());
    }
    return 0;
}
