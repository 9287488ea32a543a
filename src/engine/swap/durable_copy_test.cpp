// Replacing and staging a module through a flushed temporary file: whatever
// step fails, the module is what it was and no temporary file is left.
#include "engine/swap/durable_copy.h"
#include "platform/file_search.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/local/file_deployment.h"
#include "engine/run/module_decision.h"
#include "engine/seal/file_hash.h"
#include "engine/restart/letter_shift.h"
#include "log/debug_log.h"
#include "platform/ansi_text.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/os_fault.h"
#include "support/resource_counter.h"
#include "support/restart_schedule.h"
#include "support/scratch_deployment.h"
#include "support/temp_dir.h"

namespace {

uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct FileFacts {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    uint64_t created = 0;
    uint64_t written = 0;
};

FileFacts FactsOf(const std::string& path) {
    FileFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        facts.attributes = data.dwFileAttributes;
        facts.created = Ticks(data.ftCreationTime);
        facts.written = Ticks(data.ftLastWriteTime);
    }
    return facts;
}

bool SetCreationTime(const std::string& path, uint64_t ticks) {
    HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const BOOL ok = ::SetFileTime(h, &time, nullptr, nullptr);
    ::CloseHandle(h);
    return ok != FALSE;
}

// A file's size and a digest of its bytes, so that a failure reads short.
std::string Content(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) return "<missing>";
    uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return std::to_string(bytes.size()) + " bytes, " + std::to_string(hash);
}

const uint64_t kCreated2001 = 0x01C0900000000000ull;

// Another process taking the module between the probe and the swap: the
// flush of the new copy, the last step before the swap, opens it the way a
// loader holds a module.
HANDLE g_taken = INVALID_HANDLE_VALUE;
std::string g_toTake;
BOOL WINAPI FlushThenTake(HANDLE file) {
    const BOOL ok = RealOsCalls().FlushFileBuffers(file);
    if (g_taken == INVALID_HANDLE_VALUE) {
        g_taken = ::CreateFileA(g_toTake.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    }
    return ok;
}

// A disk that fills up halfway through the copy: half the bytes land in the
// target, then ERROR_DISK_FULL.
BOOL WINAPI CopyHalfThenDiskFull(LPCSTR from, LPCSTR to, BOOL) {
    std::string bytes;
    ReadWholeFile(from, &bytes);
    WriteWholeFile(to, bytes.substr(0, bytes.size() / 2));
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

// A file's owner and DACL as SDDL text, "" when they cannot be read.
std::string SecurityText(const std::string& path, SECURITY_INFORMATION what) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr,
                                nullptr, &sd) != ERROR_SUCCESS) {
        return std::string();
    }
    char* text = nullptr;
    std::string result;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, what, &text,
                                                               nullptr)) {
        result = text;
        ::LocalFree(text);
    }
    ::LocalFree(sd);
    return result;
}

// Sets what of an SDDL text on path; false when the platform refuses.
bool SetSecurityText(const std::string& path, const char* sddl, SECURITY_INFORMATION what) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd,
                                                                nullptr)) {
        return false;
    }
    const BOOL ok = ::SetFileSecurityA(path.c_str(), what, sd);
    ::LocalFree(sd);
    return ok != FALSE;
}

// A DACL no folder would give a module: it inherits nothing, and only
// administrators and the system may open the file. (Wine keeps a file's DACL
// as its Unix mode: there it reads back as that mode's DACL, still unlike a
// new file's.)
const char kDistinctiveDacl[] = "D:P(A;;FA;;;BA)(A;;FA;;;SY)";

// The calls that decide what the swap leaves: flushes, security changes and
// renames, in order, with their arguments (temporary names as "TMP").
std::vector<std::string> g_calls;
std::string g_folder;
std::string Shown(const std::string& path) {
    const std::string prefix = g_folder + "\\";
    if (path.compare(0, prefix.size(), prefix) != 0) return path;
    const std::string name = path.substr(prefix.size());
    // Windows writes "QMXnnnn.TMP", Wine "QMXnnn.tmp".
    if (name.size() > 7 && _strnicmp(name.c_str(), "QMX", 3) == 0 &&
        _stricmp(name.c_str() + name.size() - 4, ".TMP") == 0) {
        return "TMP";
    }
    return name;
}
BOOL WINAPI RecordFlush(HANDLE file) {
    g_calls.push_back("flush");
    return RealOsCalls().FlushFileBuffers(file);
}
BOOL WINAPI RecordMove(LPCSTR from, LPCSTR to, DWORD flags) {
    g_calls.push_back("move " + Shown(from) + " " + (to ? Shown(to) : "-") + " " +
                      std::to_string(flags));
    return RealOsCalls().MoveFileExA(from, to, flags);
}
// The DACL (and whether the owner comes along) that the swap gives a file.
BOOL WINAPI RecordSetSecurity(HANDLE handle, SECURITY_INFORMATION what,
                              PSECURITY_DESCRIPTOR sd) {
    char* text = nullptr;
    std::string dump = "?";
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &text,
                                                               nullptr)) {
        dump = text;
        ::LocalFree(text);
    }
    g_calls.push_back(std::string("security") +
                      ((what & OWNER_SECURITY_INFORMATION) ? " owner " : " ") + dump);
    return RealOsCalls().SetKernelObjectSecurity(handle, what, sd);
}
// As for an owner that only a privilege could give away.
BOOL WINAPI RefuseOwner(HANDLE handle, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR sd) {
    if (what & OWNER_SECURITY_INFORMATION) {
        ::SetLastError(ERROR_INVALID_OWNER);
        return FALSE;
    }
    return RecordSetSecurity(handle, what, sd);
}

class DurableReplace : public NewerModuleDeployment {
protected:
    // Everything in the system folder, temporary files included.
    std::set<std::string> SystemNames() const {
        std::set<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE find = ::FindFirstFileA(m_system.File("*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..") names.insert(name);
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
        return names;
    }

    std::string Lines(const std::string& lock) const {
        return "CompareTimeStamp [4a] - " + Source() + " is \"2.10\".\r\n" +
               "CompareTimeStamp [4b] - " + Dest() + " is \"2.9\".\r\n" +
               "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (2).\r\n" + "LockDestFile : " + lock +
               " \"" + Dest() + "\".\r\n";
    }
    std::string CopyFailed(DWORD error) const {
        return "CopyTargetFile - CopyFile is failed.(" + std::to_string(error) + ") " + Source() +
               " -> " + Dest() + "\r\n";
    }

    // The module as it was, nothing else in the folder, nothing scheduled.
    void ExpectUntouched(const std::string& what) {
        EXPECT_EQ(Content(FixturePath("V2_9.DLL")), Content(Dest())) << what;
        EXPECT_EQ(std::set<std::string>{"X.DLL"}, SystemNames()) << what;
        EXPECT_FALSE(ReadRestartSchedule().pendingRenames.bytes.find("X.DLM") !=
                     std::string::npos)
            << what;
    }
};

}  // namespace

// The swap is one rename of the flushed temporary file onto the module's
// name, which never stands empty; the module's DACL and owner went onto the
// temporary file first. On NT 4.0-like systems without the security
// functions, the same rename.
TEST_F(DurableReplace, ModuleGetsThePackageBytesAndTimeByOneRename) {
    g_folder = m_system.path();
    for (const bool security : {true, false}) {
        Install("V2_9.DLL");
        ClearLog();
        g_calls.clear();
        OsCallsGuard guard;
        guard.Set(&OsCalls::FlushFileBuffers, &RecordFlush);
        guard.Set(&OsCalls::MoveFileExA, &RecordMove);
        guard.Set(&OsCalls::SetKernelObjectSecurity, &RecordSetSecurity);
        if (!security) guard.MarkAbsent(&OsCalls::GetSecurityInfo);
        const std::string dacl = SecurityText(Dest(), DACL_SECURITY_INFORMATION);
        ResourceCounter counter;
        EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << security;
        EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
        std::vector<std::string> expected = {"flush"};
        if (security) expected.push_back("security owner " + dacl);
        expected.push_back("move TMP X.DLL " +
                           std::to_string(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        EXPECT_EQ(expected, g_calls) << security;
        EXPECT_EQ(Lines("QMX_LOCK_SUCEES"), LogText());
        EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Dest()));
        // The next run compares by this time.
        EXPECT_EQ(FactsOf(Source()).written, FactsOf(Dest()).written);
        EXPECT_EQ(std::set<std::string>{"X.DLL"}, SystemNames()) << security;
    }
}

TEST_F(DurableReplace, HiddenSystemModuleKeepsItsAttributesAndCreationTime) {
    // Whether this platform lets a file's creation time be set at all: Wine
    // on most Linux file systems does not keep it.
    ASSERT_TRUE(SetCreationTime(Dest(), kCreated2001));
    const bool keepsCreation = FactsOf(Dest()).created == kCreated2001;
    if (!keepsCreation) std::printf("note: this platform keeps no creation time\n");
    // Set through the copy's handle; by path when the package's copy is
    // read-only (as from a CD: that does not carry over) or ntdll has no
    // such call.
    const struct {
        const char* way;
        DWORD sourceAttributes;
        bool ntdll;
    } cases[] = {
        {"through the handle", FILE_ATTRIBUTE_NORMAL, true},
        {"read-only copy", FILE_ATTRIBUTE_READONLY, true},
        {"without the ntdll call", FILE_ATTRIBUTE_NORMAL, false},
    };
    for (const auto& c : cases) {
        Install("V2_9.DLL");
        ASSERT_TRUE(SetCreationTime(Dest(), kCreated2001));
        ASSERT_TRUE(::SetFileAttributesA(Dest().c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
        ASSERT_TRUE(::SetFileAttributesA(Source().c_str(), c.sourceAttributes));
        OsCallsGuard guard;
        if (!c.ntdll) guard.MarkAbsent(&OsCalls::NtSetInformationFile);

        EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << c.way;
        const FileFacts facts = FactsOf(Dest());
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
                  facts.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY))
            << c.way;
        if (keepsCreation) {
            EXPECT_EQ(kCreated2001, facts.created) << c.way;
        }
        EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Dest())) << c.way;
        ::SetFileAttributesA(Source().c_str(), FILE_ATTRIBUTE_NORMAL);
        ::SetFileAttributesA(Dest().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// The real functions on a real file: a module whose administrator locked it
// down keeps that DACL, and its owner, through the replacement and through
// the restart's rename of a staged copy.
TEST_F(DurableReplace, ModuleKeepsItsOwnDaclAndOwner) {
    const SECURITY_INFORMATION kDacl = DACL_SECURITY_INFORMATION;
    const std::string usual = SecurityText(Dest(), kDacl);
    ASSERT_TRUE(SetSecurityText(Dest(), kDistinctiveDacl, kDacl));
    const std::string dacl = SecurityText(Dest(), kDacl);
    ASSERT_NE(usual, dacl) << "this platform keeps no DACL on a file, so this proves nothing";
    // Owned by SYSTEM, where this platform lets an administrator say so.
    SetSecurityText(Dest(), "O:SY", OWNER_SECURITY_INFORMATION);
    const std::string owner = SecurityText(Dest(), OWNER_SECURITY_INFORMATION);
    if (owner != "O:SY") std::printf("note: this platform keeps the owner %s\n", owner.c_str());

    ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Dest()));
    EXPECT_EQ(dacl, SecurityText(Dest(), kDacl));
    EXPECT_EQ(owner, SecurityText(Dest(), OWNER_SECURITY_INFORMATION));

    // The staged copy takes them too: the restart renames it as it is.
    Install("V2_9.DLL");
    ASSERT_TRUE(SetSecurityText(Dest(), kDistinctiveDacl, kDacl));
    EXPECT_EQ(1, MoveOnReboot("X.DLL", env));
    EXPECT_EQ(dacl, SecurityText(Staging(), kDacl));
}

// An owner that this process may not give away (TrustedInstaller's, say):
// the DACL still goes over, and the swap goes ahead.
TEST_F(DurableReplace, OwnerThatCannotBeGivenAwayStillCarriesTheDacl) {
    ASSERT_TRUE(SetSecurityText(Dest(), kDistinctiveDacl, DACL_SECURITY_INFORMATION));
    const std::string dacl = SecurityText(Dest(), DACL_SECURITY_INFORMATION);
    g_calls.clear();
    OsCallsGuard guard;
    guard.Set(&OsCalls::SetKernelObjectSecurity, &RefuseOwner);
    EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(std::vector<std::string>{"security " + dacl}, g_calls);
    EXPECT_EQ(dacl, SecurityText(Dest(), DACL_SECURITY_INFORMATION));
    EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Dest()));
    EXPECT_EQ(std::set<std::string>{"X.DLL"}, SystemNames());
}

using Fault = std::shared_ptr<void>;
using FailStep = std::function<Fault(OsCallsGuard&, DWORD)>;

// Fails the first call of Entry (every call, if persistent) with answer and
// the step's error.
template <auto Entry, typename R>
FailStep FailFirst(R answer, bool persistent = false) {
    return [answer, persistent](OsCallsGuard&, DWORD error) -> Fault {
        return std::make_shared<OsFault<Entry>>(1, answer, error, persistent);
    };
}

// The copy's attributes and creation time refused through its handle, so
// that they are set by path, where fail fails them.
FailStep ByPathToo(FailStep fail) {
    return [fail](OsCallsGuard& guard, DWORD error) -> Fault {
        const NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);
        auto handle = std::make_shared<OsFault<&OsCalls::NtSetInformationFile>>(1, kAccessDenied, ERROR_ACCESS_DENIED);
        return std::make_shared<std::pair<Fault, Fault>>(handle, fail(guard, error));
    };
}

// Each step of the replacement failing in turn: the module is byte for byte
// what it was, no temporary file is left, and the log has the one CopyFile
// line with that step's error.
TEST_F(DurableReplace, EveryFailingStepKeepsTheModuleAndLeavesNoTemporaryFile) {
    const struct {
        const char* step;
        DWORD error;
        FailStep fail;
    } cases[] = {
        {"temporary name", ERROR_ACCESS_DENIED, FailFirst<&OsCalls::GetTempFileNameA>(0u)},
        {"copy, disk full halfway", ERROR_DISK_FULL,
         [](OsCallsGuard& g, DWORD) {
             g.Set(&OsCalls::CopyFileA, &CopyHalfThenDiskFull);
             return Fault();
         }},
        {"attributes, through the handle and by path", ERROR_ACCESS_DENIED,
         ByPathToo(FailFirst<&OsCalls::SetFileAttributesA>(FALSE))},
        {"creation time, through the handle and by path", ERROR_INVALID_PARAMETER,
         ByPathToo(FailFirst<&OsCalls::SetFileTime>(FALSE))},
        {"flush", ERROR_IO_DEVICE, FailFirst<&OsCalls::FlushFileBuffers>(FALSE)},
        {"module's security unreadable", ERROR_ACCESS_DENIED,
         FailFirst<&OsCalls::GetSecurityInfo>(DWORD(ERROR_ACCESS_DENIED))},
        {"security refused, with the owner and without", ERROR_ACCESS_DENIED,
         FailFirst<&OsCalls::SetKernelObjectSecurity>(FALSE, true)},
        // As Windows fails a rename: nothing moved, the module in place.
        {"swap, access denied", ERROR_ACCESS_DENIED, FailFirst<&OsCalls::MoveFileExA>(FALSE)},
        {"swap without the security functions, access denied", ERROR_ACCESS_DENIED,
         [](OsCallsGuard& g, DWORD e) -> Fault {
             g.MarkAbsent(&OsCalls::SetKernelObjectSecurity);
             return std::make_shared<OsFault<&OsCalls::MoveFileExA>>(1, FALSE, e);
         }},
    };
    for (const auto& c : cases) {
        Install("V2_9.DLL");
        ClearLog();
        OsCallsGuard guard;
        const Fault fault = c.fail(guard, c.error);
        ResourceCounter counter;
        EXPECT_EQ(QMX_INST_FAILED, env.Deploy("X.DLL", machine).bit) << c.step;
        EXPECT_EQ(0, counter.Outstanding()) << c.step << " " << counter.Report();
        EXPECT_EQ(Lines("QMX_LOCK_SUCEES") + CopyFailed(c.error), LogText()) << c.step;
        ExpectUntouched(c.step);
    }
}

// The module taken between the probe and the swap: as if the probe had
// found it in use, it is staged for the restart.
TEST_F(DurableReplace, ModuleTakenBeforeTheSwapIsStagedForTheRestart) {
    ::DeleteFileA(Staging().c_str());
    g_toTake = Dest();
    g_taken = INVALID_HANDLE_VALUE;
    OsCallsGuard guard;
    guard.Set(&OsCalls::FlushFileBuffers, &FlushThenTake);
    EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy("X.DLL", machine).bit);
    ASSERT_NE(INVALID_HANDLE_VALUE, g_taken);
    ::CloseHandle(g_taken);
    EXPECT_EQ(Lines("QMX_LOCK_SUCEES") + "CompareTimeStamp [1] - Not exist " + Staging() + ".\r\n",
              LogText());
    EXPECT_EQ(Content(FixturePath("V2_9.DLL")), Content(Dest()));
    EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Staging()));
    EXPECT_EQ((std::set<std::string>{"X.DLL", "X.DLM"}), SystemNames());
}

TEST_F(DurableReplace, SwapFailingWithASharingViolationIsStagedForTheRestart) {
    OsFault<&OsCalls::MoveFileExA> busy(1, FALSE, ERROR_SHARING_VIOLATION);
    ResourceCounter counter;
    EXPECT_EQ(QMX_INST_ON_REBOOT, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(0, counter.Outstanding()) << counter.Report();
    EXPECT_EQ(Lines("QMX_LOCK_SUCEES") + "CompareTimeStamp [1] - Not exist " + Staging() + ".\r\n",
              LogText());
    EXPECT_EQ(Content(FixturePath("V2_9.DLL")), Content(Dest()));
    EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Staging()));
    EXPECT_EQ((std::set<std::string>{"X.DLL", "X.DLM"}), SystemNames());
    EXPECT_NE(std::string::npos, ReadRestartSchedule().pendingRenames.bytes.find("X.DLM"));
}

// The folders temporary files were made in.
std::vector<std::string> g_tempFolders;
UINT WINAPI RecordTempFolder(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR name) {
    g_tempFolders.push_back(folder);
    return RealOsCalls().GetTempFileNameA(folder, prefix, unique, name);
}

TEST_F(DurableReplace, WindowsNineXCopiesOntoTheModuleWithoutATemporaryFile) {
    machine.osClass = QMX_OS_WIN9X;
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetTempFileNameA, &RecordTempFolder);
    g_tempFolders.clear();
    EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    // Only the kept copy's, in the store: never one beside the module.
    ASSERT_EQ(1u, g_tempFolders.size());
    EXPECT_EQ(m_store.path(), FolderOf(g_tempFolders[0]));
    EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Dest()));
}

// --- Staging for the restart ---

class DurableStaging : public DurableReplace {
protected:
    int Stage() { return MoveOnReboot("X.DLL", env); }
};

TEST_F(DurableStaging, StagedCopyIsFlushedBeforeItIsRenamedAndScheduled) {
    g_calls.clear();
    OsCallsGuard guard;
    guard.Set(&OsCalls::FlushFileBuffers, &RecordFlush);
    guard.Set(&OsCalls::MoveFileExA, &RecordMove);
    g_folder = m_system.path();
    EXPECT_EQ(1, Stage());
    const std::vector<std::string> expected = {
        "flush",
        "move TMP X.DLM " + std::to_string(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
        "move X.DLM X.DLL " +
            std::to_string(MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)};
    EXPECT_EQ(expected, g_calls);
    EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Staging()));
    EXPECT_EQ(FactsOf(Source()).written, FactsOf(Staging()).written);
    EXPECT_EQ((std::set<std::string>{"X.DLL", "X.DLM"}), SystemNames());
}

// A staged copy cut short would be newer by its time than the package's and
// be scheduled again by a later run: it must never exist under its name.
TEST_F(DurableStaging, StagingCutShortLeavesNoStagedCopyAndAnOlderOneWhole) {
    for (const int osClass : {QMX_OS_NT5_OR_LATER, QMX_OS_WIN9X}) {
        machine.osClass = osClass;
        const RestartSchedule before = ReadRestartSchedule();
        ::DeleteFileA(Staging().c_str());
        ClearLog();
        {
            OsCallsGuard guard;
            guard.Set(&OsCalls::CopyFileA, &CopyHalfThenDiskFull);
            EXPECT_EQ(0, Stage()) << osClass;
        }
        EXPECT_EQ("CompareTimeStamp [1] - Not exist " + Staging() + ".\r\n" +
                      "MoveOnReboot - CopyFile is failed.(112) " + Source() + " -> " + Staging() +
                      "\r\n",
                  LogText());
        ExpectUntouched(std::to_string(osClass));

        // An older staged copy waiting: a failed rewrite leaves it whole.
        ASSERT_TRUE(::CopyFileA(FixturePath("V1_0.DLL").c_str(), Staging().c_str(), FALSE));
        {
            OsCallsGuard guard;
            guard.Set(&OsCalls::CopyFileA, &CopyHalfThenDiskFull);
            EXPECT_EQ(0, Stage()) << osClass;
        }
        EXPECT_EQ(Content(FixturePath("V1_0.DLL")), Content(Staging()));
        EXPECT_EQ((std::set<std::string>{"X.DLL", "X.DLM"}), SystemNames());
        // And a rewrite that succeeds replaces it.
        EXPECT_EQ(1, Stage()) << osClass;
        EXPECT_EQ(Content(FixturePath("V2_10.DLL")), Content(Staging()));
        EXPECT_EQ((std::set<std::string>{"X.DLL", "X.DLM"}), SystemNames());
        RestoreRestartSchedule(before);
    }
}

// --- Names that are not plain file names ---

TEST_F(DurableReplace, NameReachingOutsideTheSystemFolderIsRefusedAsABrokenPackage) {
    // A module one folder up, where "..\\X.DLL" would reach, and a shipped
    // copy that would replace it.
    const std::string outside = m_system.path() + "\\..\\X.DLL";
    ASSERT_TRUE(::CopyFileA(FixturePath("V2_9.DLL").c_str(), outside.c_str(), FALSE));
    const std::string outsideBefore = Content(outside);
    for (const std::string name : {"..\\X.DLL", "../X.DLL", "..", ".", "SUB\\X.DLL",
                                   "C:\\X.DLL", "X.DLL:EVIL", "*.DLL", "CON", "NUL.DLL"}) {
        ClearLog();
        ResourceCounter counter;
        EXPECT_EQ(QMX_INST_NOT_APPLICABLE, env.Deploy(name, machine).bit) << name;
        EXPECT_EQ(0, counter.Acquired(ResourceCounter::kFind)) << name;
        EXPECT_EQ("CopyTargetFile - Invalid file name " + name + ".\r\n", LogText());
    }
    EXPECT_EQ(outsideBefore, Content(outside));
    ::DeleteFileA(outside.c_str());
    ExpectUntouched("refused names");
}

namespace {

// Opens of one file asking to read its bytes.
// With g_denyRead, each such open is refused, as a DACL would.
std::string g_counted;
int g_readOpens = 0;
bool g_denyRead = false;
HANDLE WINAPI CountReadOpens(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (g_counted == path && (access & GENERIC_READ) != 0) {
        ++g_readOpens;
        if (g_denyRead) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    return RealOsCalls().CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

Sha256Digest DigestOfFile(const std::string& path) {
    Sha256Digest digest = {};
    uint32_t error = 0;
    HashFile(path, &digest, &error);
    return digest;
}

HANDLE g_heldModule = nullptr;
bool g_heldAtSwap = false;

BOOL WINAPI NoteHeldAtSwap(LPCSTR from, LPCSTR to, DWORD flags) {
    DWORD handleFlags = 0;
    g_heldAtSwap = g_heldModule != nullptr && ::GetHandleInformation(g_heldModule, &handleFlags);
    return RealOsCalls().MoveFileExA(from, to, flags);
}

}  // namespace

// A copy made to replace a module that is kept reads the module's bytes
// through the one open that reads its security; without the security
// functions it reads them by itself, and a module that cannot be read gives
// no digest, but the copy, leaving the keeping to say why.
TEST_F(DurableReplace, CopyReadsTheModuleItReplacesOnceForItsDigest) {
    const struct {
        const char* what;
        bool security;
        bool unreadable;
    } cases[] = {
        {"with its security", true, false},
        {"without the security functions", false, false},
        {"unreadable", true, true},
    };
    for (const auto& c : cases) {
        Install("V2_9.DLL");
        OsCallsGuard guard;
        if (!c.security) guard.MarkAbsent(&OsCalls::GetSecurityInfo);
        g_counted = Dest();
        g_readOpens = 0;
        g_denyRead = c.unreadable;
        guard.Set(&OsCalls::CreateFileA, &CountReadOpens);
        WIN32_FIND_DATAA found;
        ASSERT_TRUE(FindFile(Dest(), &found));
        PreparedCopy copy;
        DWORD error = 0;
        const std::string dest = Dest();
        const CopyLike like{.found = &found, .path = dest, .security = true, .hash = true};
        EXPECT_TRUE(copy.Write(Source(), m_system.path(), like, nullptr, &error)) << c.what;
        EXPECT_EQ(1, g_readOpens) << c.what;
        if (c.unreadable) {
            EXPECT_EQ(nullptr, copy.LikeDigest()) << c.what;
        } else {
            ASSERT_NE(nullptr, copy.LikeDigest()) << c.what;
            EXPECT_TRUE(DigestOfFile(FixturePath("V2_9.DLL")) == *copy.LikeDigest()) << c.what;
        }
        EXPECT_TRUE(DigestOfFile(FixturePath("V2_10.DLL")) == copy.Digest()) << c.what;
        // The handle that read them stays open for the link, and is closed
        // before the rename: NTFS will not rename over a file held open.
        const bool held = c.security && !c.unreadable;
        EXPECT_EQ(held, copy.LikeFile() != nullptr) << c.what;
        g_heldModule = copy.LikeFile();
        g_heldAtSwap = false;
        guard.Set(&OsCalls::MoveFileExA, &NoteHeldAtSwap);
        EXPECT_EQ(SwapResult::kDone, copy.SwapInto(Dest(), &error)) << c.what;
        EXPECT_FALSE(g_heldAtSwap) << c.what;
    }
    g_denyRead = false;
}
