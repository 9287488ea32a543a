#include "engine/local/file_deployment.h"
#include "engine/run/module_decision.h"
#include "engine/restart/restart_schedule.h"
#include "engine/local/install_environment.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/restart/letter_shift.h"
#include "log/debug_log.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/os_fault.h"
#include "support/resource_counter.h"
#include "support/restart_schedule.h"
#include "support/scratch_deployment.h"
#include "support/temp_dir.h"

namespace {

// The pending moves as (from, to) pairs, with the "\??\" prefix and the
// replace-existing "!" mark taken off.
std::vector<std::pair<std::string, std::string>> PendingMoves() {
    const PendingRenames value = ReadPendingRenames();
    std::vector<std::string> names;
    size_t start = 0;
    while (start < value.bytes.size()) {
        const size_t end = value.bytes.find('\0', start);
        const size_t stop = end == std::string::npos ? value.bytes.size() : end;
        names.push_back(value.bytes.substr(start, stop - start));
        start = stop + 1;
    }
    auto plain = [](std::string name) {
        if (!name.empty() && name[0] == '!') name.erase(0, 1);
        if (name.compare(0, 4, "\\??\\") == 0) name.erase(0, 4);
        return name;
    };
    std::vector<std::pair<std::string, std::string>> moves;
    for (size_t i = 0; i + 1 < names.size(); i += 2) {
        if (names[i].empty()) break;
        moves.emplace_back(plain(names[i]), plain(names[i + 1]));
    }
    return moves;
}

bool HasPendingMove(const std::string& from, const std::string& to) {
    for (const auto& move : PendingMoves()) {
        if (_stricmp(move.first.c_str(), from.c_str()) == 0 &&
            _stricmp(move.second.c_str(), to.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

std::string RenameEntry(const std::string& key) {
    char value[MAX_PATH] = {};
    ::GetPrivateProfileStringA("Rename", key.c_str(), "<none>", value, sizeof value,
                               WininitPath().c_str());
    return value;
}

// WININIT.INI's [Rename] section as its "key=value" lines.
std::vector<std::string> RenameSection() {
    std::vector<char> buffer(32767);
    const DWORD n = ::GetPrivateProfileSectionA("Rename", buffer.data(),
                                                static_cast<DWORD>(buffer.size()),
                                                WininitPath().c_str());
    std::vector<std::string> lines;
    for (const char* line = buffer.data(); line < buffer.data() + n && *line != '\0';
         line += lines.back().size() + 1) {
        lines.emplace_back(line);
    }
    return lines;
}

// Starts the test from a WININIT.INI without [Rename] entries; the fixture
// puts the file back as it was.
void ClearRenameSection() {
    ::WritePrivateProfileStringA("Rename", nullptr, nullptr, WininitPath().c_str());
    ASSERT_TRUE(RenameSection().empty());
}

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD n = ::GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n == 0 || n >= sizeof buffer ? std::string() : std::string(buffer, n);
}

// Another process using the installed file. Read sharing only is how a
// loaded module is held: shared readers still get in, an exclusive open
// fails with a sharing violation.
class Holder {
public:
    Holder(const std::string& path, DWORD share) {
        m_h = ::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~Holder() { Release(); }
    void Release() {
        if (m_h != INVALID_HANDLE_VALUE) ::CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }
    bool ok() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// Fails the exclusive probe of one path with a chosen error; every other
// open, the log's included, goes to the real system.
std::string g_probeTarget;
DWORD g_probeError = 0;
HANDLE WINAPI FailExclusiveProbe(LPCSTR name, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                 HANDLE templ) {
    if (share == 0 && g_probeTarget == name) {
        ::SetLastError(g_probeError);
        return INVALID_HANDLE_VALUE;
    }
    return RealOsCalls().CreateFileA(name, access, share, security, disposition, flags, templ);
}

// Makes the exclusive probe of path fail with error while it lives; the
// error may be changed between probes.
class ProbeFault {
public:
    ProbeFault(const std::string& path, DWORD error) {
        g_probeTarget = path;
        g_probeError = error;
        m_guard.Set(&OsCalls::CreateFileA, &FailExclusiveProbe);
    }
    void SetError(DWORD error) { g_probeError = error; }

private:
    OsCallsGuard m_guard;
};

// Windows 98 as its GetVersionExA reports it.
BOOL WINAPI Windows98(LPOSVERSIONINFOA info) {
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 10;
    info->dwBuildNumber = 0x040A07CE;
    return TRUE;
}

// Nothing acquired through the call table is still held, and nothing was
// released that was not held.
::testing::AssertionResult AllReleased(const ResourceCounter& counter) {
    if (counter.Outstanding() == 0 && counter.StrayReleases() == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << counter.Report();
}

// Shift-JIS: 0x83 leads characters such as the one written 0x83 0x5C.
BOOL WINAPI ShiftJisLeadByte(BYTE byte) { return byte == 0x83; }

class Deployment : public ScratchDeployment {
protected:
    // name in the program folder, a copy of fixture (last-write time kept).
    void Ship(const std::string& fixture, const std::string& name = "X.DLL") {
        ASSERT_TRUE(::CopyFileA(FixturePath(fixture).c_str(), Source(name).c_str(), FALSE))
            << fixture;
    }
    void Install(const std::string& fixture, const std::string& name = "X.DLL") {
        ASSERT_TRUE(::CopyFileA(FixturePath(fixture).c_str(), Dest(name).c_str(), FALSE))
            << fixture;
    }
    std::string Source(const std::string& name = "X.DLL") const { return m_program.File(name); }
    std::string Dest(const std::string& name = "X.DLL") const { return m_system.File(name); }
    std::string Staging(const std::string& name = "X.DLL") const {
        return ShiftLastLetterOf(Dest(name), 0);
    }

    // The comparison's lines for a shipped 2.10 against an installed 2.9.
    std::string NewerByMinor(const std::string& name = "X.DLL") const {
        return "CompareTimeStamp [4a] - " + Source(name) + " is \"2.10\".\r\n" +
               "CompareTimeStamp [4b] - " + Dest(name) + " is \"2.9\".\r\n" +
               "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (2).\r\n";
    }
    std::string InUse(const std::string& name = "X.DLL") const {
        return NewerByMinor(name) + "LockDestFile : QMX_LOCK_INUSE \"" + Dest(name) + "\".\r\n";
    }
    std::string NoStagedCopy(const std::string& name = "X.DLL") const {
        return "CompareTimeStamp [1] - Not exist " + Staging(name) + ".\r\n";
    }
    // Our pair waiting: its staged 2.10 against the installed 2.9, which it
    // does not downgrade.
    std::string StagedCopyNewer(const std::string& name = "X.DLL") const {
        return "CompareTimeStamp [4a] - " + Staging(name) + " is \"2.10\".\r\n" +
               "CompareTimeStamp [4b] - " + Dest(name) + " is \"2.9\".\r\n" +
               "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (2).\r\n";
    }
    // The comparison's lines for a staged copy of the shipped 2.10.
    std::string StagedCopySame(const std::string& name = "X.DLL") const {
        return "CompareTimeStamp [4a] - " + Source(name) + " is \"2.10\".\r\n" +
               "CompareTimeStamp [4b] - " + Staging(name) + " is \"2.10\".\r\n" +
               "CompareTimeStamp : QMX_COMP_SAME (2).\r\n" +
               "CompareTimeStamp : QMX_COMP_SAME (3).\r\n";
    }

    // A module in use on the 95/98/Me family: staged beside it and named by
    // exactly one [Rename] entry, whose key is the installed module's own
    // short path, with nothing for MoveFileEx. A second run before the
    // restart finds the staged copy current and names it again, alike.
    void ExpectStagedWithOneRenameEntry(const std::string& name) {
        ClearRenameSection();
        Ship("V2_10.DLL", name);
        Install("V2_9.DLL", name);
        const size_t movesBefore = PendingMoves().size();
        Holder holder(Dest(name), FILE_SHARE_READ);
        OsFault<&OsCalls::MoveFileExA> moves(1000, FALSE, 0);  // never fires; counts
        EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy(name, machine).bit);
        EXPECT_EQ(InUse(name) + NoStagedCopy(name), LogText());

        const std::string shortStaging = ShortPath(Staging(name));
        ASSERT_FALSE(shortStaging.empty());
        const std::vector<std::string> entry = {ShortPath(Dest(name)) + "=" + shortStaging};
        EXPECT_EQ(entry, RenameSection());
        EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Staging(name)));

        // Our own entry waiting, in a second run: the module is not even
        // probed.
        env.EndRun();
        ClearLog();
        EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy(name, machine).bit);
        EXPECT_EQ(StagedCopyNewer(name) + StagedCopySame(name), LogText());
        EXPECT_EQ(entry, RenameSection());
        EXPECT_EQ(0, moves.calls());
        EXPECT_EQ(movesBefore, PendingMoves().size());
    }
};

}  // namespace

// --- CopyTargetFile: the decision table ---

TEST_F(Deployment, NotAdministratorTouchesNothingNotEvenTheExistenceTest) {
    Ship("V2_10.DLL");
    Install("V2_9.DLL");
    machine.isAdmin = 0;
    ResourceCounter counter;
    EXPECT_EQ(QMX_INST_NOT_ADMIN, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(0, counter.Acquired(ResourceCounter::kFind));
    EXPECT_EQ("CopyTargetFile - I'm not administrator.\r\n", LogText());
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest()));
}

TEST_F(Deployment, UnknownSystemFolderFailsWithoutTouchingTheDriveRoot) {
    // An older copy in the root of the drive, where "\\X.DLL" would point.
    const std::string root = "C:\\QMXROOTTEST.DLL";
    ASSERT_TRUE(::CopyFileA(FixturePath("V2_9.DLL").c_str(), root.c_str(), FALSE));
    Ship("V2_10.DLL", "QMXROOTTEST.DLL");
    machine.systemDir.clear();
    ResourceCounter counter;
    EXPECT_EQ(QMX_INST_FAILED, env.Deploy("QMXROOTTEST.DLL", machine).bit);
    EXPECT_EQ(0, counter.Acquired(ResourceCounter::kFind));
    EXPECT_EQ("CopyTargetFile - GetSystemDirectory is failed. QMXROOTTEST.DLL\r\n", LogText());
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(root));
    ::DeleteFileA(root.c_str());
}

TEST_F(Deployment, SourceFolderGivenByTheCallerWinsWithOrWithoutBackslash) {
    TempDir other;
    ASSERT_TRUE(::CopyFileA(FixturePath("V2_10.DLL").c_str(), other.File("X.DLL").c_str(), FALSE));
    Ship("V1_0.DLL");  // the program folder's copy would be older
    for (const std::string& dir : {other.path(), other.path() + "\\"}) {
        Install("V2_9.DLL");
        FileDeployment fromOther(machine, dir);
        EXPECT_EQ(QMX_INST_COPIED, fromOther.Deploy("X.DLL", machine).bit) << dir;
        EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Dest())) << dir;
    }
    EXPECT_NE(std::string::npos, LogText().find("[4a] - " + other.File("X.DLL") + " is"));
}

TEST_F(Deployment, TrailByteOfADoubleByteFolderNameIsNoBackslash) {
    OsCallsGuard guard;
    guard.Set(&OsCalls::IsDBCSLeadByte, &ShiftJisLeadByte);
    machine.systemDir = "C:\\QMX\\\x83\\";  // a folder named by one double-byte character
    EXPECT_EQ(QMX_INST_SKIPPED, env.Deploy("X.DLL", machine).bit);
    machine.systemDir = "C:\\QMX\\\x83\\\\";  // the same, with a real backslash after it
    EXPECT_EQ(QMX_INST_SKIPPED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ("CopyTargetFile - Not exist C:\\QMX\\\x83\\\\X.DLL.\r\n"
              "CopyTargetFile - Not exist C:\\QMX\\\x83\\\\X.DLL.\r\n",
              LogText());
}

// After a comparison that favours the package, the module replaced now, and
// each way the probe or the copy goes wrong: the outcome, the log's lines,
// the module as it is left, and never a staged copy or a restart-time move.
TEST_F(Deployment, ProbeAndCopyResultsGiveTheirOutcomeAndStageNothing) {
    const struct {
        const char* what;
        DWORD probeError;  // 0: the real probe
        DWORD copyError;   // 0: the copy succeeds
        uint32_t outcome;
        const char* lock;
        int copies;
        const char* installedAfter;
    } rows[] = {
        {"replaced now", 0, 0, QMX_INST_COPIED, "QMX_LOCK_SUCEES", 1, "V2_10.DLL"},
        {"copy fails", 0, ERROR_DISK_FULL, QMX_INST_FAILED, "QMX_LOCK_SUCEES", 1, "V2_9.DLL"},
        // A file vanishing before the probe is copied back, by one copy onto
        // the file itself: nothing staged, nothing scheduled.
        {"vanished", ERROR_FILE_NOT_FOUND, 0, QMX_INST_COPIED, "QMX_LOCK_NOTFOUND", 1, "V2_10.DLL"},
        {"vanished, copy fails", ERROR_FILE_NOT_FOUND, ERROR_WRITE_PROTECT, QMX_INST_FAILED,
         "QMX_LOCK_NOTFOUND", 1, "V2_9.DLL"},
        {"probe error", ERROR_ACCESS_DENIED, 0, QMX_INST_FAILED, "QMX_LOCK_ERROR(5)", 0, "V2_9.DLL"},
    };
    Ship("V2_10.DLL");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ClearLog();
        Install("V2_9.DLL");
        const size_t movesBefore = PendingMoves().size();
        std::unique_ptr<ProbeFault> probe;
        if (row.probeError != 0) probe.reset(new ProbeFault(Dest(), row.probeError));
        OsFault<&OsCalls::CopyFileA> copies(row.copyError ? 1 : 1000, FALSE, row.copyError);
        ResourceCounter counter;
        EXPECT_EQ(row.outcome, env.Deploy("X.DLL", machine).bit);
        EXPECT_TRUE(AllReleased(counter));
        std::string log = NewerByMinor() + "LockDestFile : " + row.lock + " \"" + Dest() + "\".\r\n";
        if (row.copyError != 0) {
            log += "CopyTargetFile - CopyFile is failed.(" + std::to_string(row.copyError) + ") " +
                   Source() + " -> " + Dest() + "\r\n";
        }
        EXPECT_EQ(log, LogText());
        EXPECT_EQ(row.copies, copies.calls());
        EXPECT_EQ(FileText(FixturePath(row.installedAfter)), FileText(Dest()));
        EXPECT_FALSE(PathExists(Staging()));
        EXPECT_EQ(movesBefore, PendingMoves().size());
    }
}

// --- CopyTargetFile and MoveOnReboot: a file in use ---

TEST_F(Deployment, LoadedModuleIsStagedToo) {
    Ship("V2_10.DLL");
    Install("V2_9.DLL");
    HMODULE module = ::LoadLibraryExA(Dest().c_str(), nullptr, 0);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy("X.DLL", machine).bit);
    ::FreeLibrary(module);
    EXPECT_EQ(InUse() + NoStagedCopy(), LogText());
    EXPECT_TRUE(HasPendingMove(Staging(), Dest()));
}

// A module in use on NT is staged beside it and moved at the restart. A
// second run before the restart finds the update still waiting: that is the
// restart outcome again, with the pair listed once.
TEST_F(Deployment, FileInUseOnNtIsStagedAndASecondRunNamesTheWaitingCopyAgainOnce) {
    Ship("V2_10.DLL");
    Install("V2_9.DLL");
    Holder holder(Dest(), FILE_SHARE_READ);
    ASSERT_TRUE(holder.ok());
    {
        ResourceCounter counter;
        EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy("X.DLL", machine).bit);
        EXPECT_TRUE(AllReleased(counter));
    }
    EXPECT_EQ(InUse() + NoStagedCopy(), LogText());
    EXPECT_EQ(m_system.File("X.DLM"), Staging());
    EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Staging()));
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest()));
    const size_t moves = PendingMoves().size();
    ASSERT_TRUE(HasPendingMove(Staging(), Dest()));

    env.EndRun();
    ClearLog();
    {
        OsFault<&OsCalls::MoveFileExA> delayedMoves(1000, FALSE, 0);  // never fires; counts
        OsFault<&OsCalls::CopyFileA> copies(1000, FALSE, 0);
        ResourceCounter counter;
        EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy("X.DLL", machine).bit);
        EXPECT_TRUE(AllReleased(counter));
        EXPECT_EQ(1, counter.Acquired(ResourceCounter::kRegKey));
        EXPECT_EQ(0, delayedMoves.calls());
        EXPECT_EQ(0, copies.calls());
    }
    // Our own pair waiting: the module is not even probed.
    EXPECT_EQ(StagedCopyNewer() + StagedCopySame(), LogText());
    EXPECT_EQ(moves, PendingMoves().size());

    // The list unreadable: the pair is added again, which is harmless.
    env.EndRun();
    {
        OsFault<&OsCalls::RegOpenKeyExA> unreadable(1, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED);
        EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy("X.DLL", machine).bit);
        EXPECT_EQ(1, unreadable.fired());
    }
    EXPECT_EQ(moves + 1, PendingMoves().size());
}

TEST_F(Deployment, StagedCopyNewerThanTheShippedOneIsKeptAndNamed) {
    Ship("V2_9.DLL");
    Install("V1_0.DLL");
    ASSERT_TRUE(::CopyFileA(FixturePath("V2_10.DLL").c_str(), Staging().c_str(), FALSE));
    EXPECT_EQ(1, MoveOnReboot("X.DLL", env));
    EXPECT_EQ("CompareTimeStamp [4a] - " + Source() + " is \"2.9\".\r\n" +
                  "CompareTimeStamp [4b] - " + Staging() + " is \"2.10\".\r\n" +
                  "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (2).\r\n",
              LogText());
    EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Staging()));
    EXPECT_TRUE(HasPendingMove(Staging(), Dest()));
}

TEST_F(Deployment, FileInUseOn9xGetsOneRenameEntryInWininit) {
    machine.osClass = QMX_OS_WIN9X;
    // An 8.3 name: the key is the staged copy's short path with its last
    // letter shifted back, as it always was.
    ExpectStagedWithOneRenameEntry("X.DLL");
    EXPECT_EQ(ShiftLastLetterOf(ShortPath(Staging()), 1), ShortPath(Dest()));
}

// The family comes from GetVersionExA, not from a test setting the field.
TEST_F(Deployment, Windows98ReportedByTheSystemStagesWithOneRenameEntry) {
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetVersionExA, &Windows98);
    InstallEnvironment probe;
    probe.InitEnvironment();
    ASSERT_EQ(QMX_OS_WIN9X, probe.GetMachine().osClass);
    ASSERT_EQ(1, probe.GetMachine().isAdmin);
    machine.osClass = probe.GetMachine().osClass;
    // Wine derives a long name's short form from a hash, so the staged
    // copy's short name shares no stem with the module's.
    ExpectStagedWithOneRenameEntry("LONGMODULENAME.DLL");
    EXPECT_NE(ShiftLastLetterOf(ShortPath(Staging("LONGMODULENAME.DLL")), 1),
              ShortPath(Dest("LONGMODULENAME.DLL")));
}

namespace {

// FAT's numbering: module B is LONGMO~2.DLL, and its staged copy, the first
// .DLM of that stem, LONGMO~1.DLM. Shifting the staged copy's short name back
// would name module A (LONGMO~1.DLL), which the package never listed.
DWORD WINAPI FatShortNames(LPCSTR path, LPSTR buffer, DWORD size) {
    const std::string text = path;
    std::string name = text.substr(text.rfind('\\') + 1);
    if (name == "LONGMODULEA.DLL") name = "LONGMO~1.DLL";
    if (name == "LONGMODULEB.DLL") name = "LONGMO~2.DLL";
    if (name == "LONGMODULEB.DLM") name = "LONGMO~1.DLM";
    const std::string result = "C:\\FAT\\" + name;
    if (size <= result.size()) return static_cast<DWORD>(result.size() + 1);
    ::lstrcpyA(buffer, result.c_str());
    return static_cast<DWORD>(result.size());
}

}  // namespace

TEST_F(Deployment, RenameEntryNamesTheInstalledModuleWhateverTheStagedCopysShortName) {
    machine.osClass = QMX_OS_WIN9X;
    ClearRenameSection();
    Ship("V2_10.DLL", "LONGMODULEB.DLL");
    Install("V2_9.DLL", "LONGMODULEB.DLL");
    Install("V2_9.DLL", "LONGMODULEA.DLL");
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetShortPathNameA, &FatShortNames);
    EXPECT_EQ(1, MoveOnReboot("LONGMODULEB.DLL", env));
    EXPECT_EQ(std::vector<std::string>{"C:\\FAT\\LONGMO~2.DLL=C:\\FAT\\LONGMO~1.DLM"},
              RenameSection());
}

TEST_F(Deployment, NameNotEndingInALetterIsNeverStagedOntoItself) {
    for (const int osClass : {QMX_OS_NT5_OR_LATER, QMX_OS_WIN9X}) {
        for (const std::string name : {"X.DL_", "MODULE1"}) {
            ClearLog();
            machine.osClass = osClass;
            Ship("V2_10.DLL", name);
            Install("V2_9.DLL", name);
            const size_t movesBefore = PendingMoves().size();
            Holder holder(Dest(name), FILE_SHARE_READ);
            ResourceCounter counter;
            EXPECT_EQ(QMX_INST_FAILED, env.Deploy(name, machine).bit) << name;
            EXPECT_TRUE(AllReleased(counter)) << name;
            EXPECT_EQ(InUse(name) + "MoveOnReboot - Cannot stage " + Dest(name) + ".\r\n",
                      LogText());
            holder.Release();
            EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest(name)));
            EXPECT_EQ(movesBefore, PendingMoves().size());
            EXPECT_EQ("<none>", RenameEntry(ShortPath(Dest(name))));
        }
    }
}

// --- MoveOnReboot: each step failing ---

class MoveOnRebootFailure : public Deployment {
protected:
    void SetUp() override {
        Deployment::SetUp();
        Ship("V2_10.DLL");
        Install("V2_9.DLL");
    }
    int Move() { return MoveOnReboot("X.DLL", env); }
};

// Called alone, or by CopyTargetFile for a module in use.
TEST_F(MoveOnRebootFailure, StagingCopyFails) {
    for (const bool inUse : {false, true}) {
        SCOPED_TRACE(inUse ? "CopyTargetFile" : "MoveOnReboot");
        ClearLog();
        std::unique_ptr<Holder> holder;
        if (inUse) holder.reset(new Holder(Dest(), FILE_SHARE_READ));
        const DWORD error = inUse ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED;
        OsFault<&OsCalls::CopyFileA> fault(1, FALSE, error);
        ResourceCounter counter;
        if (inUse) {
            EXPECT_EQ(QMX_INST_FAILED, env.Deploy("X.DLL", machine).bit);
        } else {
            EXPECT_EQ(0, Move());
        }
        EXPECT_TRUE(AllReleased(counter));
        EXPECT_EQ((inUse ? InUse() : "") + NoStagedCopy() + "MoveOnReboot - CopyFile is failed.(" +
                      std::to_string(error) + ") " + Source() + " -> " + Staging() + "\r\n",
                  LogText());
        EXPECT_FALSE(PathExists(Staging()));
        EXPECT_FALSE(HasPendingMove(Staging(), Dest()));
    }
}

TEST_F(MoveOnRebootFailure, DelayedMoveFailsOrAnswersOtherThanOne) {
    for (const BOOL answer : {FALSE, 2}) {
        ClearLog();
        ::DeleteFileA(Staging().c_str());
        // The first move renames the flushed copy to the staging name.
        OsFault<&OsCalls::MoveFileExA> fault(2, answer, answer ? 0 : ERROR_ACCESS_DENIED);
        ResourceCounter counter;
        EXPECT_EQ(0, Move()) << answer;
        EXPECT_TRUE(AllReleased(counter)) << answer;
        EXPECT_EQ(NoStagedCopy() + "MoveOnReboot - MoveFileEx is failed.(" +
                      (answer ? "0" : "5") + ") " + Staging() + " -> " + Dest() + "\r\n",
                  LogText());
        // Nothing is left for a later run to take as waiting.
        EXPECT_FALSE(PathExists(Staging()));
    }
}

TEST_F(MoveOnRebootFailure, WindowsDirectoryUnreadableOn9x) {
    machine.osClass = QMX_OS_WIN9X;
    for (const UINT answer : {0u, 261u, 400u}) {
        ClearLog();
        ::DeleteFileA(Staging().c_str());
        OsFault<&OsCalls::GetWindowsDirectoryA> fault(1, answer, ERROR_ACCESS_DENIED);
        ResourceCounter counter;
        EXPECT_EQ(0, Move()) << answer;
        EXPECT_TRUE(AllReleased(counter)) << answer;
        EXPECT_EQ(NoStagedCopy() + "MoveOnReboot - GetWindowsDirectory is failed.(" +
                      (answer ? "122" : "5") + ") " + Staging() + "\r\n",
                  LogText());
    }
    EXPECT_EQ("<none>", RenameEntry(ShortPath(Dest())));
}

TEST_F(MoveOnRebootFailure, ShortPathUnavailableOn9x) {
    machine.osClass = QMX_OS_WIN9X;
    ClearRenameSection();
    // The staged copy's short form, then the installed module's, each asked
    // for its size and then read: every one of the four calls failing, or
    // (a read) answering that it needs more room.
    const struct {
        int nth;
        DWORD answer;
        std::string path;
        int buffers;
    } steps[] = {{1, 0, Staging(), 0}, {2, 0, Staging(), 1}, {2, 1000, Staging(), 1},
                 {3, 0, Dest(), 1},    {4, 0, Dest(), 2},    {4, 1000, Dest(), 2}};
    for (const auto& step : steps) {
        ClearLog();
        ::DeleteFileA(Staging().c_str());
        OsFault<&OsCalls::GetShortPathNameA> fault(step.nth, step.answer, ERROR_PATH_NOT_FOUND);
        ResourceCounter counter;
        EXPECT_EQ(0, Move()) << step.nth << " " << step.answer;
        EXPECT_TRUE(AllReleased(counter)) << step.nth << " " << step.answer;
        EXPECT_EQ(step.buffers, counter.Acquired(ResourceCounter::kHeap)) << step.nth;
        EXPECT_EQ(NoStagedCopy() + "MoveOnReboot - GetShortPathNameCS is failed. " + step.path +
                      "\r\n",
                  LogText());
        EXPECT_TRUE(RenameSection().empty());
    }
}

namespace {

// A short form that ends in a digit, as a mangled name without extension
// does, given for both paths: an entry naming one file twice would delete it.
DWORD WINAPI ShortFormEndingInDigit(LPCSTR, LPSTR buffer, DWORD size) {
    const char text[] = "C:\\QMXTEST\\STAGIN~1";
    if (size < sizeof text) return sizeof text;
    ::lstrcpyA(buffer, text);
    return sizeof text - 1;
}

}  // namespace

TEST_F(MoveOnRebootFailure, ShortFormsNamingOneFileTwiceWriteNoEntryOn9x) {
    machine.osClass = QMX_OS_WIN9X;
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetShortPathNameA, &ShortFormEndingInDigit);
    ResourceCounter counter;
    EXPECT_EQ(0, Move());
    EXPECT_TRUE(AllReleased(counter));
    EXPECT_EQ(NoStagedCopy() + "MoveOnReboot - Cannot stage C:\\QMXTEST\\STAGIN~1.\r\n",
              LogText());
    EXPECT_EQ("<none>", RenameEntry("C:\\QMXTEST\\STAGIN~1"));
}

TEST_F(MoveOnRebootFailure, ProfileWriteFailsOrAnswersOtherThanOneOn9x) {
    machine.osClass = QMX_OS_WIN9X;
    for (const BOOL answer : {FALSE, 2}) {
        ClearLog();
        ::DeleteFileA(Staging().c_str());
        OsFault<&OsCalls::WritePrivateProfileStringA> fault(1, answer,
                                                            answer ? 0 : ERROR_ACCESS_DENIED);
        ResourceCounter counter;
        EXPECT_EQ(0, Move()) << answer;
        EXPECT_TRUE(AllReleased(counter)) << answer;
        // An 8.3 name: the staged copy's short form is the module's, shifted.
        const std::string shortStaging = ShiftLastLetterOf(ShortPath(Dest()), 0);
        EXPECT_EQ(NoStagedCopy() + "MoveOnReboot - WritePrivateProfileString is failed.(" +
                      (answer ? "0" : "5") + ") " + ShortPath(Dest()) + " -> " + shortStaging +
                      "\r\n",
                  LogText());
        EXPECT_FALSE(PathExists(Staging()));
    }
}

// Whichever open fails (the comparison's, the probe's, the log's), no
// handle or heap block is left behind and the installed file is intact.
TEST_F(MoveOnRebootFailure, EveryFailingOpenReleasesEverythingAndKeepsTheFile) {
    for (const int osClass : {QMX_OS_NT5_OR_LATER, QMX_OS_WIN9X}) {
        machine.osClass = osClass;
        auto run = [&](int nth, const auto& fault) {
            // A [Rename] entry left naming a staged copy that is gone can no
            // longer be told from anyone else's: each round starts afresh.
            ::DeleteFileA(Staging().c_str());
            ClearRenameSection();
            Holder holder(Dest(), FILE_SHARE_READ);
            ResourceCounter counter;
            const uint32_t outcome = env.Deploy("X.DLL", machine).bit;
            EXPECT_EQ(0, counter.Outstanding()) << nth << " " << counter.Report();
            EXPECT_EQ(0, counter.StrayReleases()) << nth;
            EXPECT_TRUE(outcome == QMX_INST_ON_REBOOT || outcome == QMX_INST_FAILED ||
                        outcome == QMX_INST_SKIPPED || outcome == QMX_INST_NOT_APPLICABLE)
                << nth << " " << outcome;
            holder.Release();
            EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest())) << nth;
            if (fault.fired() == 0) {
                EXPECT_EQ(QMX_INST_ON_REBOOT, outcome);
            }
        };
        FailEachCallInTurn<&OsCalls::CreateFileA>(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, run);
    }
}

// --- LockDestFile ---

TEST_F(Deployment, LockProbeReportsEachOutcome) {
    Install("V2_9.DLL");
    ResourceCounter counter;
    EXPECT_EQ(QMX_LOCK_SUCEES, env.LockDestFile(Dest()));
    EXPECT_EQ(QMX_LOCK_NOTFOUND, env.LockDestFile(Dest("Y.DLL")));
    {
        Holder holder(Dest(), FILE_SHARE_READ);
        EXPECT_EQ(QMX_LOCK_INUSE, env.LockDestFile(Dest()));
    }
    // A folder that does not exist is error 3, not 2.
    const std::string noFolder = m_system.File("none\\X.DLL");
    EXPECT_EQ(QMX_LOCK_ERROR, env.LockDestFile(noFolder));
    EXPECT_TRUE(AllReleased(counter));
    EXPECT_EQ("LockDestFile : QMX_LOCK_SUCEES \"" + Dest() + "\".\r\n" +
                  "LockDestFile : QMX_LOCK_NOTFOUND \"" + Dest("Y.DLL") + "\".\r\n" +
                  "LockDestFile : QMX_LOCK_INUSE \"" + Dest() + "\".\r\n" +
                  "LockDestFile : QMX_LOCK_ERROR(3) \"" + noFolder + "\".\r\n",
              LogText());
    // The successful probe closed its handle and changed nothing.
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest()));
    EXPECT_EQ(QMX_LOCK_SUCEES, env.LockDestFile(Dest()));
}

TEST_F(Deployment, LockProbeMapsInjectedErrors) {
    ProbeFault probe(Dest(), 0);
    const struct {
        DWORD error;
        int32_t result;
        std::string line;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, QMX_LOCK_NOTFOUND, "QMX_LOCK_NOTFOUND"},
        {ERROR_SHARING_VIOLATION, QMX_LOCK_INUSE, "QMX_LOCK_INUSE"},
        {ERROR_ACCESS_DENIED, QMX_LOCK_ERROR, "QMX_LOCK_ERROR(5)"},
        {ERROR_LOCK_VIOLATION, QMX_LOCK_ERROR, "QMX_LOCK_ERROR(33)"},
    };
    for (const auto& c : cases) {
        ClearLog();
        probe.SetError(c.error);
        ResourceCounter counter;
        EXPECT_EQ(c.result, env.LockDestFile(Dest())) << c.error;
        EXPECT_TRUE(AllReleased(counter)) << c.error;
        EXPECT_EQ("LockDestFile : " + c.line + " \"" + Dest() + "\".\r\n", LogText());
    }
}

// --- ShortPathOf and FileExists ---

// 95/98/Me's answer for a name with a space: a short form longer than it.
DWORD WINAPI LongerShortName(LPCSTR, LPSTR buffer, DWORD size) {
    const std::string shortName = "C:\\MYMOD~1.DLL";
    if (size <= shortName.size()) return static_cast<DWORD>(shortName.size() + 1);
    std::memcpy(buffer, shortName.c_str(), shortName.size() + 1);
    return static_cast<DWORD>(shortName.size());
}

TEST_F(Deployment, ShortPathIsTheSystemsShortFormOrEmpty) {
    Install("V2_9.DLL", "A LONG MODULE NAME.DLL");
    ResourceCounter counter;
    const std::string expected = ShortPath(Dest("A LONG MODULE NAME.DLL"));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected, ShortPathOf(Dest("A LONG MODULE NAME.DLL")));
    EXPECT_EQ("", ShortPathOf(Dest("MISSING.DLL")));
    EXPECT_EQ("", ShortPathOf(""));
    {
        OsFault<&OsCalls::LocalAlloc> fault(1, nullptr, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ("", ShortPathOf(Dest("A LONG MODULE NAME.DLL")));
    }
    {
        // A name grown between the size asked and the read gives nothing.
        OsFault<&OsCalls::GetShortPathNameA> fault(2, 1000, 0);
        EXPECT_EQ("", ShortPathOf(Dest("A LONG MODULE NAME.DLL")));
    }
    {
        // A short form longer than the long one ("MY MOD.DLL" is
        // "MYMOD~1.DLL") is read whole.
        OsCallsGuard guard;
        guard.Set(&OsCalls::GetShortPathNameA, &LongerShortName);
        EXPECT_EQ("C:\\MYMOD~1.DLL", ShortPathOf("C:\\MY MOD.DLL"));
    }
    EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
}

TEST_F(Deployment, FileExistsFindsFilesAndFoldersAndClosesTheSearch) {
    Install("V2_9.DLL");
    ASSERT_TRUE(::CreateDirectoryA(Dest("SUB").c_str(), nullptr));
    ResourceCounter counter;
    EXPECT_EQ(1, env.FileExists(Dest()));
    EXPECT_EQ(1, env.FileExists(Dest("SUB")));
    EXPECT_EQ(0, env.FileExists(Dest("MISSING.DLL")));
    EXPECT_EQ(0, env.FileExists(m_system.File("none\\X.DLL")));
    EXPECT_EQ(2, counter.Acquired(ResourceCounter::kFind));
    EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
}
