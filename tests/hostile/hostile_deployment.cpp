#include "hostile_deployment.h"

#include <cstdio>
#include <vector>

#include "log/debug_log.h"
#include "support/fixture_path.h"
#include "support/restart_schedule.h"

namespace {

std::wstring Long(const std::string& path) {
    std::wstring wide(path.size(), L'\0');
    const int n = ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                        &wide[0], static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return L"\\\\?\\" + wide;
}

std::string Narrow(const wchar_t* text) {
    char buffer[1024] = {};
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
    return buffer;
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((Long(folder) + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.insert(Narrow(data.cFileName));
    while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
}

std::string WindowsFolder() {
    char dir[MAX_PATH + 1] = {};
    ::GetWindowsDirectoryA(dir, sizeof dir);
    return dir;
}

std::string RealSystemFolder() {
    char dir[MAX_PATH + 1] = {};
    ::GetSystemDirectoryA(dir, sizeof dir);
    return dir;
}

std::string TempFolder() {
    char dir[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(sizeof dir, dir);
    std::string path(dir, n);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace

bool WriteLongFile(const std::string& path, const std::string& bytes) {
    ::SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = ::CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == bytes.size();
}

bool ReadLongFile(const std::string& path, std::string* bytes) {
    HANDLE h = ::CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    std::vector<char> chunk(65536);
    DWORD got = 0;
    while (::ReadFile(h, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got > 0) {
        bytes->append(chunk.data(), got);
    }
    ::CloseHandle(h);
    return true;
}

bool SetLongFileTime(const std::string& path, uint64_t time) {
    HANDLE h = ::CreateFileW(Long(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const FILETIME written = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    const BOOL ok = ::SetFileTime(h, nullptr, nullptr, &written);
    ::CloseHandle(h);
    return ok != 0;
}

bool CreateLongFolder(const std::string& path) {
    return ::CreateDirectoryW(Long(path).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

void RemoveLongTree(const std::string& path) {
    for (const std::string& name : Names(path)) {
        if (name == "." || name == "..") continue;
        const std::string child = path + "\\" + name;
        ::SetFileAttributesW(Long(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        const DWORD attributes = ::GetFileAttributesW(Long(child).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveLongTree(child);
        } else {
            ::DeleteFileW(Long(child).c_str());
        }
    }
    ::RemoveDirectoryW(Long(path).c_str());
}

std::map<std::string, std::string> TreeContents(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const std::string& name : Names(folder)) {
        if (name == "." || name == "..") continue;
        const std::string child = folder + "\\" + name;
        const DWORD attributes = ::GetFileAttributesW(Long(child).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            tree[name] = "<dir>";
            for (const auto& entry : TreeContents(child)) tree[name + "\\" + entry.first] = entry.second;
        } else {
            std::string bytes;
            tree[name] = ReadLongFile(child, &bytes) ? Digest(bytes) : "<unreadable>";
        }
    }
    return tree;
}

// Short enough to read in a failure message, long enough to tell files apart.
std::string Digest(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char text[48];
    std::snprintf(text, sizeof text, "%zu bytes, %016llx", bytes.size(),
                  static_cast<unsigned long long>(hash));
    return text;
}

std::string FixtureBytes(const std::string& name) {
    std::string bytes;
    EXPECT_TRUE(ReadLongFile(FixturePath(name), &bytes)) << name;
    return bytes;
}

void HostileDeployment::SetUp() {
    LoggedTest::SetUp();
    m_programDir = m_program.path();
    m_systemDir = m_system.path();
    machine.programDir = m_programDir;
    machine.systemDir = m_systemDir;
    machine.isAdmin = 1;
    machine.osClass = QMX_OS_NT5_OR_LATER;
    m_before = Capture();
}

void HostileDeployment::TearDown() {
    LoggedTest::TearDown();
    const Outside after = Capture();
    EXPECT_EQ(after.package, m_before.package) << "the package was changed";
    EXPECT_EQ(after.driveRoot, m_before.driveRoot) << "C:\\ was changed";
    EXPECT_EQ(after.windows, m_before.windows) << "the Windows folder was changed";
    EXPECT_EQ(after.realSystem, m_before.realSystem) << "the real system folder was changed";
    EXPECT_EQ(after.temp, m_before.temp) << "the temporary folder was changed";
    if (!m_scheduleAllowed) {
        const RestartSchedule& was = m_before.restartSchedule;
        const RestartSchedule& is = after.restartSchedule;
        EXPECT_EQ(is.wininitExists, was.wininitExists);
        EXPECT_EQ(is.wininit, was.wininit) << "WININIT.INI was changed";
        EXPECT_EQ(is.pendingRenames.present, was.pendingRenames.present);
        EXPECT_EQ(is.pendingRenames.bytes, was.pendingRenames.bytes) << "a move at restart was scheduled";
    }
    RestoreRestartSchedule(m_before.restartSchedule);
    RemoveLongTree(m_program.path());
    RemoveLongTree(m_system.path());
}

HostileDeployment::Outside HostileDeployment::Capture() const {
    Outside now;
    // First, as it flushes the profile cache into WININIT.INI.
    now.restartSchedule = ReadRestartSchedule();
    now.package = TreeContents(m_programDir);
    now.driveRoot = Names("C:");
    now.driveRoot.erase("QMX_CHG.LOG");
    now.windows = Names(WindowsFolder());
    now.windows.erase("WININIT.INI");  // compared by content, with the restart schedule
    now.realSystem = Names(RealSystemFolder());
    now.temp = Names(TempFolder());
    return now;
}

std::string HostileDeployment::DeepFolder(const std::string& root, size_t length) {
    std::string folder = root;
    while (folder.size() < length) {
        // Components of at most 100 bytes, none shorter than 2.
        size_t add = length - folder.size() - 1;
        if (add > 100) add = add - 100 < 2 ? 98 : 100;
        folder += "\\" + std::string(add, 'd');
        EXPECT_TRUE(CreateLongFolder(folder)) << folder.size();
    }
    EXPECT_EQ(folder.size(), length);
    return folder;
}

void HostileDeployment::UsePackageFolder(const std::string& folder) {
    CreateLongFolder(folder);
    m_programDir = folder;
    machine.programDir = folder;
    m_before.package = TreeContents(folder);
}

void HostileDeployment::UseSystemFolder(const std::string& folder) {
    CreateLongFolder(folder);
    m_systemDir = folder;
    machine.systemDir = folder;
}

void HostileDeployment::Ship(const std::string& bytes, uint64_t time, const std::string& name) {
    ASSERT_TRUE(WriteLongFile(Source(name), bytes)) << Source(name);
    ASSERT_TRUE(SetLongFileTime(Source(name), time));
    SnapshotPackage();
}

void HostileDeployment::Install(const std::string& bytes, uint64_t time, const std::string& name) {
    ASSERT_TRUE(WriteLongFile(Dest(name), bytes)) << Dest(name);
    ASSERT_TRUE(SetLongFileTime(Dest(name), time));
}

std::string HostileDeployment::Installed(const std::string& name) const {
    std::string bytes;
    return ReadLongFile(Dest(name), &bytes) ? Digest(bytes) : "<missing>";
}

std::set<std::string> HostileDeployment::SystemNames() const {
    std::set<std::string> names = Names(m_systemDir);
    names.erase(".");
    names.erase("..");
    return names;
}

void HostileDeployment::SnapshotPackage() { m_before.package = TreeContents(m_programDir); }
