#include "bench_package.h"

#include <windows.h>

#include <cstdio>

namespace {

// Shipped copies are dated after the installed ones, as a real update is,
// so the time step would agree with the versions if it were reached.
const FILETIME kInstalledTime = {0x00000000, 0x01D8A000};
const FILETIME kShippedTime = {0x00000000, 0x01DA0000};

bool Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "%s failed (%lu): %s\n", what, ::GetLastError(), path.c_str());
    return false;
}

bool CopyDated(const std::string& from, const std::string& to, const FILETIME& written) {
    if (!::CopyFileA(from.c_str(), to.c_str(), FALSE)) return Fail("CopyFile", to);
    HANDLE file = ::CreateFileA(to.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail("CreateFile", to);
    const BOOL dated = ::SetFileTime(file, nullptr, nullptr, &written);
    ::CloseHandle(file);
    return dated ? true : Fail("SetFileTime", to);
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::DeleteFileA(path.c_str());
            }
        } while (::FindNextFileA(find, &entry));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

bool CreateBenchPackage(const BenchFixtures& fixtures, size_t count,
                        const std::string& changeListPath, BenchPackage* package) {
    char temp[MAX_PATH];
    if (!::GetTempPathA(MAX_PATH, temp)) return Fail("GetTempPath", "");
    char root[MAX_PATH];
    std::snprintf(root, sizeof root, "%sqmxbench%lu", temp, ::GetCurrentProcessId());
    package->root = root;
    package->programDir = package->root + "\\package";
    package->systemDir = package->root + "\\system";
    package->storeDir = package->root + "\\store";
    package->changeListPath = changeListPath;
    package->installedOld = package->root + "\\installed-old.dll";
    package->names.clear();
    RemoveTree(package->root);
    for (const std::string* folder :
         {&package->root, &package->programDir, &package->systemDir, &package->storeDir}) {
        if (!::CreateDirectoryA(folder->c_str(), nullptr)) return Fail("CreateDirectory", *folder);
    }
    if (!CopyDated(fixtures.older, package->installedOld, kInstalledTime)) return false;

    for (size_t i = 0; i < count; ++i) {
        // Upper case on disk as in the change list, so that Wine finds each
        // name at once instead of searching the folder for a case variant.
        char name[32];
        std::snprintf(name, sizeof name, "M%07lu.DLL", static_cast<unsigned long>(i));
        package->names.push_back(name);
        const std::string shipped = package->programDir + "\\" + name;
        const std::string installed = package->systemDir + "\\" + name;
        if (!CopyDated(IsOlderThanInstalled(i) ? fixtures.older : fixtures.newer, shipped,
                       kShippedTime)) {
            return false;
        }
        if (IsInstalled(i) &&
            !CopyDated(IsOlderThanInstalled(i) ? fixtures.newer : fixtures.older, installed,
                       kInstalledTime)) {
            return false;
        }
    }
    return true;
}

bool WriteBenchChangeList(const BenchPackage& package, bool logOn) {
    std::string text = "[Install]\r\n1:4:10, 2:5:1, 2:6:1\r\n[File]\r\n";
    for (const std::string& name : package.names) text += name + "\r\n";
    text += logOn ? "[Log]\r\nON\r\n" : "[Log]\r\nOFF\r\n";
    return WriteWholeFile(package.changeListPath, text) ? true : Fail("writing", package.changeListPath);
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == text.size();
}

bool ResetSystemDir(const BenchPackage& package) {
    RemoveTree(package.storeDir);
    if (!::CreateDirectoryA(package.storeDir.c_str(), nullptr)) return Fail("CreateDirectory", package.storeDir);
    for (size_t i = 0; i < package.names.size(); ++i) {
        if (!IsNewerThanInstalled(i)) continue;
        const std::string installed = package.systemDir + "\\" + package.names[i];
        // CopyFile keeps the master's last-write time.
        if (!::CopyFileA(package.installedOld.c_str(), installed.c_str(), FALSE)) {
            return Fail("CopyFile", installed);
        }
    }
    return true;
}

void RemoveBenchPackage(const BenchPackage& package) {
    ::DeleteFileA(package.changeListPath.c_str());
    if (!package.root.empty()) RemoveTree(package.root);
}
