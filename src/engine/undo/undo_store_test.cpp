// Keeping the installed copy before a module is replaced, and putting it
// back: whatever step fails, the module is one of its two copies, every
// record's copy is whole, and nothing is left open.
#include "engine/undo/undo_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/local/file_deployment.h"
#include "engine/run/module_decision.h"
#include "engine/run/installation_run.h"
#include "engine/undo/store_record.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/os_fault.h"
#include "support/resource_counter.h"
#include "support/restart_schedule.h"
#include "support/scratch_deployment.h"
#include "support/temp_dir.h"

namespace {

// A short stand-in for a file's bytes, for readable failures.
std::string Text(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) return "<missing>";
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return DigestHex(hash.Final()).substr(0, 16);
}

// Read past the call table, so that a fault under test never fires here.
Sha256Digest DigestOf(const std::string& path) {
    std::string bytes;
    ReadWholeFile(path, &bytes);
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Final();
}

uint64_t LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

class UndoStoreTest : public NewerModuleDeployment {
protected:
    // The store's files by path within it (its folders' as D\NAME), each with
    // whether it hashes to the digest its name ends in ("SHA256SUMS" and
    // anything else: false).
    std::map<std::string, bool> Records() const {
        std::map<std::string, bool> records;
        AddRecords("", &records);
        return records;
    }
    void AddRecords(const std::string& folder, std::map<std::string, bool>* records) const {
        WIN32_FIND_DATAA data;
        HANDLE find = ::FindFirstFileA(m_store.File(folder + "*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (folder.empty()) AddRecords(name + "\\", records);
                continue;
            }
            Sha256Digest named;
            (*records)[folder + name] = name.size() > 64 && ParseDigestHex(name.c_str() + name.size() - 64, &named) &&
                                        named == DigestOf(m_store.File(folder + name));
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    // The record of V2_9 replaced by V2_10, for a site that was told no list
    // of its package (its identity then is all zero).
    std::string RecordName() const {
        return Folder() + "\\" + RecordPrefix(Key()) + DigestHex(DigestOf(FixturePath("V2_9.DLL")));
    }
    static Sha256Digest Key() { return RecordKey(Sha256Digest(), "X.DLL"); }
    // The store's folder for X.DLL's records.
    std::string Folder() const { return std::string(1, kStoreFolderDigits[RecordFolder(Key())]); }
    // RecordName as SHA256SUMS lists it.
    std::string ListedName() const { return RecordName().replace(1, 1, "/"); }
    void EmptyStore() {
        for (const auto& record : Records()) ::DeleteFileA(m_store.File(record.first).c_str());
    }
    // No record without its whole copy; nothing but records and the listing.
    void ExpectWholeRecords(const std::string& what) {
        for (const auto& record : Records()) {
            EXPECT_TRUE(record.second || record.first == "SHA256SUMS") << what << " " << record.first;
        }
    }
};

}  // namespace

// The store keeps the replaced copy under the digests of both copies, as a
// hard link or, without links, as a copy; its listing checks with sha256sum;
// /undo gives back the bytes and the time, and a second finds nothing.
TEST_F(UndoStoreTest, InstallThenUndoGivesBackTheModuleAndEmptiesTheStore) {
    for (const int mode : {0, 1, 2}) {  // hard link, copy, 95/98/Me
        const std::string what = std::to_string(mode);
        OsCallsGuard guard;
        if (mode != 0) guard.MarkAbsent(&OsCalls::CreateHardLinkA);
        machine.osClass = mode == 2 ? QMX_OS_WIN9X : QMX_OS_NT5_OR_LATER;
        Install("V2_9.DLL");
        const uint64_t before = LastWrite(Dest());
        EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << what;
        env.EndRun();
        EXPECT_EQ(Text(FixturePath("V2_10.DLL")), Text(Dest())) << what;
        EXPECT_EQ((std::map<std::string, bool>{{RecordName(), true}, {"SHA256SUMS", false}}), Records()) << what;
        EXPECT_EQ(DigestHex(DigestOf(FixturePath("V2_9.DLL"))) + " *" + ListedName() + "\n",
                  FileText(m_store.File("SHA256SUMS")))
            << what;

        ClearLog();
        ResourceCounter counter;
        EXPECT_EQ(QMX_INST_COPIED, env.Undo("X.DLL", machine, false).bit) << what;
        env.EndRun();
        EXPECT_EQ(0, counter.Outstanding()) << what << counter.Report();
        EXPECT_EQ(Text(FixturePath("V2_9.DLL")), Text(Dest())) << what;
        EXPECT_EQ(before, LastWrite(Dest())) << what;
        EXPECT_EQ((std::map<std::string, bool>{{"SHA256SUMS", false}}), Records()) << what;
        EXPECT_NE(std::string::npos, LogText().find("UndoModule - Restored " + Dest() + ".\r\n")) << what;

        ClearLog();
        EXPECT_EQ(QMX_INST_SKIPPED, env.Undo("X.DLL", machine, false).bit) << what;
        EXPECT_EQ("UndoModule - Nothing to undo for " + Dest() + ".\r\n", LogText()) << what;
    }
}

// Each step of keeping fails in turn: the module is not replaced unless its
// copy was kept whole, and a failed keep says so in one line.
TEST_F(UndoStoreTest, EveryFailingStepOfKeepingLeavesTheModuleAndNoPartialRecord) {
    for (const bool links : {true, false}) {
        auto run = [&](int nth, const auto&) {
            const std::string what = std::to_string(links) + " " + std::to_string(nth);
            OsCallsGuard guard;
            if (!links) guard.MarkAbsent(&OsCalls::CreateHardLinkA);
            Install("V2_9.DLL");
            EmptyStore();
            ClearLog();
            uint32_t bit = 0;
            {
                ResourceCounter counter;
                bit = env.Deploy("X.DLL", machine).bit;
                EXPECT_EQ(0, counter.Outstanding()) << what << counter.Report();
            }
            const std::string module = Text(Dest());
            ExpectWholeRecords(what);
            if (bit == QMX_INST_COPIED) {
                EXPECT_EQ(Text(FixturePath("V2_10.DLL")), module) << what;
                EXPECT_TRUE(Records()[RecordName()]) << what;
            } else {
                EXPECT_EQ(Text(FixturePath("V2_9.DLL")), module) << what;
            }
            const bool notKept = LogText().find("CopyTargetFile - Cannot keep " + Dest() + ".(") != std::string::npos;
            if (notKept) {
                EXPECT_EQ(QMX_INST_FAILED, bit) << what;
            }
        };
        FailEachCallInTurn<&OsCalls::CreateFileA>(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, run);
        FailEachCallInTurn<&OsCalls::ReadFile>(FALSE, ERROR_READ_FAULT, run);
        FailEachCallInTurn<&OsCalls::CopyFileA>(FALSE, ERROR_DISK_FULL, run);
        FailEachCallInTurn<&OsCalls::FlushFileBuffers>(FALSE, ERROR_DISK_FULL, run);
        FailEachCallInTurn<&OsCalls::MoveFileExA>(FALSE, ERROR_DISK_FULL, run);
        FailEachCallInTurn<&OsCalls::GetTempFileNameA>(0u, ERROR_DISK_FULL, run);
        FailEachCallInTurn<&OsCalls::FindFirstFileA>(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, run);
        FailEachCallInTurn<&OsCalls::DeleteFileA>(FALSE, ERROR_ACCESS_DENIED, run);
        FailEachCallInTurn<&OsCalls::CreateHardLinkA>(FALSE, ERROR_NOT_SAME_DEVICE, run);
        FailEachCallInTurn<&OsCalls::NtSetInformationFile>(static_cast<NTSTATUS>(0xC00000D4L), 0, run);  // not same device
    }
}

// Each step of putting back fails in turn: the module keeps the package's
// copy, and its record stays whole for the next try.
TEST_F(UndoStoreTest, EveryFailingStepOfRestoringLeavesTheModuleAndItsRecord) {
    auto run = [&](int nth, const auto&) {
        const std::string what = std::to_string(nth);
        Install("V2_9.DLL");
        EmptyStore();
        {
            OsCallsGuard pause;
            pause.Set(&OsCalls::CreateFileA, RealOsCalls().CreateFileA);
            pause.Set(&OsCalls::ReadFile, RealOsCalls().ReadFile);
            pause.Set(&OsCalls::CopyFileA, RealOsCalls().CopyFileA);
            pause.Set(&OsCalls::MoveFileExA, RealOsCalls().MoveFileExA);
            pause.Set(&OsCalls::FindFirstFileA, RealOsCalls().FindFirstFileA);
            pause.Set(&OsCalls::DeleteFileA, RealOsCalls().DeleteFileA);
            pause.Set(&OsCalls::FlushFileBuffers, RealOsCalls().FlushFileBuffers);
            ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << what;
        }
        uint32_t bit = 0;
        {
            ResourceCounter counter;
            bit = env.Undo("X.DLL", machine, false).bit;
            EXPECT_EQ(0, counter.Outstanding()) << what << counter.Report();
        }
        ExpectWholeRecords(what);
        if (bit == QMX_INST_COPIED) {
            EXPECT_EQ(Text(FixturePath("V2_9.DLL")), Text(Dest())) << what;
        } else {
            EXPECT_EQ(Text(FixturePath("V2_10.DLL")), Text(Dest())) << what;
            EXPECT_TRUE(Records()[RecordName()]) << what;
        }
    };
    FailEachCallInTurn<&OsCalls::CreateFileA>(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, run);
    FailEachCallInTurn<&OsCalls::ReadFile>(FALSE, ERROR_READ_FAULT, run);
    FailEachCallInTurn<&OsCalls::CopyFileA>(FALSE, ERROR_DISK_FULL, run);
    FailEachCallInTurn<&OsCalls::FlushFileBuffers>(FALSE, ERROR_DISK_FULL, run);
    FailEachCallInTurn<&OsCalls::MoveFileExA>(FALSE, ERROR_DISK_FULL, run);
    FailEachCallInTurn<&OsCalls::FindFirstFileA>(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, run);
}

// A kept copy that no longer hashes to its name is never put back; a module
// another program has changed since is not ours to touch.
TEST_F(UndoStoreTest, DamagedCopyOrAModuleChangedSinceIsLeftAlone) {
    ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    ASSERT_TRUE(WriteWholeFile(m_store.File(RecordName()), "damaged"));
    ClearLog();
    EXPECT_EQ(QMX_INST_FAILED, env.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(Text(FixturePath("V2_10.DLL")), Text(Dest()));
    EXPECT_NE(std::string::npos, LogText().find("UndoModule - Cannot restore " + Dest() + ".(23)\r\n"));

    Install("V2_9.DLL");
    ClearLog();
    EXPECT_EQ(QMX_INST_SKIPPED, env.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(Text(FixturePath("V2_9.DLL")), Text(Dest()));
    EXPECT_EQ("UndoModule - Nothing to undo for " + Dest() + ".\r\n", LogText());
}

// A store, or the store's folder for the module's record, that is a plain
// file is never used: nothing is replaced.
TEST_F(UndoStoreTest, StoreThatIsAFileKeepsNothingAndReplacesNothing) {
    const std::string store = m_store.File("QMX_UNDO");
    // The store judged through its open handle, and found by a search first.
    for (const bool byHandle : {true, false}) {
        OsCallsGuard guard;
        if (!byHandle) guard.MarkAbsent(&OsCalls::NtQueryInformationFile);
        for (const std::string& file : {store, store + "\\" + Folder()}) {
            const std::string what = file + (byHandle ? " by handle" : " by search");
            if (file != store) {
                ASSERT_TRUE(::CreateDirectoryA(store.c_str(), nullptr));
            }
            ASSERT_TRUE(WriteWholeFile(file, "not a folder"));
            FileDeployment deployment(machine, std::string(), store);
            ClearLog();
            EXPECT_EQ(QMX_INST_FAILED, deployment.Deploy("X.DLL", machine).bit) << what;
            EXPECT_EQ(Text(FixturePath("V2_9.DLL")), Text(Dest())) << what;
            EXPECT_NE(std::string::npos, LogText().find("CopyTargetFile - Cannot keep " + Dest() + ".(267)\r\n"))
                << what;
            EXPECT_EQ("not a folder", FileText(file)) << what;
            ::DeleteFileA(file.c_str());
        }
        ::RemoveDirectoryA(store.c_str());
    }
}

// SHA256SUMS names every kept copy in every folder, those the run did not
// use too, and nothing else: not a line of an earlier listing whose copy has
// been deleted since, nor one of no record form.
TEST_F(UndoStoreTest, ListingNamesTheKeptCopiesOfEveryFolderAndNothingElse) {
    const std::string other = Folder() == "0" ? "1" : "0", digest(64, 'c');
    const std::string kept = "Y.DLL." + std::string(64, 'd') + "." + DigestHex(DigestOf(FixturePath("V2_9.DLL")));
    ASSERT_TRUE(::CreateDirectoryA(m_store.File(other).c_str(), nullptr));
    ASSERT_TRUE(::CopyFileA(FixturePath("V2_9.DLL").c_str(), m_store.File(other + "\\" + kept).c_str(), FALSE));
    const std::string deleted = digest + " *" + other + "/Z.DLL." + std::string(64, 'e') + "." + digest + "\n";
    ASSERT_TRUE(WriteWholeFile(m_store.File("SHA256SUMS"), deleted + "junk\n"));
    ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    env.EndRun();
    const std::string old = DigestHex(DigestOf(FixturePath("V2_9.DLL")));
    const std::string ours = old + " *" + ListedName() + "\n", theirs = old + " *" + other + "/" + kept + "\n";
    EXPECT_EQ(other < Folder() ? theirs + ours : ours + theirs, FileText(m_store.File("SHA256SUMS")));
}

std::vector<std::string> g_created;

HANDLE WINAPI NoteCreated(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                          DWORD flags, HANDLE model) {
    g_created.push_back(path);
    return RealOsCalls().CreateFileA(path, access, share, security, disposition, flags, model);
}

// The store's first listing is written in place, a later one aside and
// renamed over it; one that cannot be written whole is left in no part.
TEST_F(UndoStoreTest, TheFirstListingIsWrittenInPlaceAndALaterOneAside) {
    const std::string listing = DigestHex(DigestOf(FixturePath("V2_9.DLL"))) + " *" + ListedName() + "\n";
    for (const char* what : {"first", "later", "disk full"}) {
        const std::string row = what;
        g_created.clear();
        ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << what;
        {
            OsCallsGuard guard;
            guard.Set(&OsCalls::CreateFileA, &NoteCreated);
            OsFault<&OsCalls::WriteFile> full(row == "disk full" ? 1 : 1000, FALSE, ERROR_DISK_FULL, true);
            env.EndRun();
        }
        const auto aside = std::count(g_created.begin(), g_created.end(), m_store.File("SHA256SUMS.NEW"));
        if (row == "disk full") {
            EXPECT_EQ((std::map<std::string, bool>{{RecordName(), true}}), Records()) << what;
            continue;
        }
        EXPECT_EQ(row == "first" ? 0 : 1, aside) << what;
        EXPECT_EQ(listing, FileText(m_store.File("SHA256SUMS"))) << what;
        // Kept again: the module as it was, its record gone.
        ASSERT_TRUE(::DeleteFileA(m_store.File(RecordName()).c_str())) << what;
        if (row == "later") {
            ASSERT_TRUE(::DeleteFileA(m_store.File("SHA256SUMS").c_str()));
        }
        Install("V2_9.DLL");
    }
}

std::string g_unlisted;

HANDLE WINAPI RefuseListing(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (g_unlisted == pattern) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return RealOsCalls().FindFirstFileA(pattern, data);
}

// The store is listed once, when a run first opens it. What changes after
// that still counts: the record's folder removed meanwhile (an administrator
// emptying the store) is made again; and a store that cannot be listed
// leaves each folder to a search of its own.
TEST_F(UndoStoreTest, KeepsWhenTheStoreChangedSinceItWasListedOrCannotBeListed) {
    for (const bool listable : {true, false}) {
        const char* what = listable ? "folder removed since" : "store unlisted";
        ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << what;
        env.EndRun();
        Install("V2_9.DLL");
        OsCallsGuard guard;
        g_unlisted = listable ? std::string() : m_store.File("*");
        guard.Set(&OsCalls::FindFirstFileA, &RefuseListing);
        env.FinishInterruptedRuns(machine);
        EmptyStore();
        ASSERT_TRUE(::RemoveDirectoryA(m_store.File(Folder()).c_str())) << what;

        EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << what;
        env.EndRun();
        EXPECT_EQ((std::map<std::string, bool>{{RecordName(), true}, {"SHA256SUMS", false}}), Records()) << what;
        EXPECT_EQ(DigestHex(DigestOf(FixturePath("V2_9.DLL"))) + " *" + ListedName() + "\n",
                  FileText(m_store.File("SHA256SUMS")))
            << what;
        Install("V2_9.DLL");
    }
}

// 2.9 replaced by 2.10, then 2.10 by 3.0: each package's undo takes one step
// back, and a second finds nothing. (Versions that differ in their first
// three parts: a fourth would leave the order to the fixtures' build times.)
TEST_F(UndoStoreTest, UndoWalksAChainBackOnePackageAtATime) {
    TempDir package2, package3;
    ASSERT_TRUE(::CopyFileA(FixturePath("V2_10.DLL").c_str(), package2.File("X.DLL").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA(FixturePath("V3_0.DLL").c_str(), package3.File("X.DLL").c_str(), FALSE));
    Install("V2_9.DLL");
    FileDeployment two(machine, package2.path(), m_store.path());
    FileDeployment three(machine, package3.path(), m_store.path());
    // Each a package of its own, known by what it ships.
    const FileList list{"X.DLL"};
    ASSERT_EQ(1, two.VerifyPackage(list));
    ASSERT_EQ(1, three.VerifyPackage(list));
    ASSERT_EQ(QMX_INST_COPIED, two.Deploy("X.DLL", machine).bit);
    ASSERT_EQ(QMX_INST_COPIED, three.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(QMX_INST_COPIED, three.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(Text(FixturePath("V2_10.DLL")), Text(Dest()));
    EXPECT_EQ(QMX_INST_SKIPPED, three.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(QMX_INST_COPIED, two.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(Text(FixturePath("V2_9.DLL")), Text(Dest()));
    EXPECT_EQ(QMX_INST_SKIPPED, two.Undo("X.DLL", machine, false).bit);
}

// A module in use is put back at the restart: its staged copy holds the kept
// bytes and is scheduled.
TEST_F(UndoStoreTest, ModuleInUseIsRestoredAtTheRestart) {
    ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    HANDLE holder = ::CreateFileA(Dest().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_EQ(QMX_INST_ON_REBOOT, env.Undo("X.DLL", machine, false).bit);
    ::CloseHandle(holder);
    EXPECT_EQ(Text(FixturePath("V2_10.DLL")), Text(Dest()));
    EXPECT_EQ(Text(FixturePath("V2_9.DLL")), Text(m_system.File("X.DLM")));
    EXPECT_NE(std::string::npos, ReadRestartSchedule().pendingRenames.bytes.find("X.DLM"));
}

// All or nothing: a later module missing from the package stops the run,
// and the module it replaced first is put back.
TEST_F(UndoStoreTest, RollbackPutsBackWhatTheRunReplacedWhenALaterModuleIsMissing) {
    Install("V2_9.DLL");
    ASSERT_TRUE(::CopyFileA(FixturePath("V2_9.DLL").c_str(), m_system.File("Y.DLL").c_str(), FALSE));
    const std::string list = m_program.File("QMX_CHG.DAT");
    for (const bool allOrNothing : {true, false}) {
        Install("V2_9.DLL");
        WriteWholeFile(list, std::string("[Install]\r\n2:5\r\n[File]\r\nX.DLL\r\nY.DLL\r\n") +
                                 (allOrNothing ? "[Rollback]\r\nON\r\n" : ""));
        machine.platformId = 2;
        machine.majorVersion = 5;
        InstallationRun run(machine, env, list);
        ClearLog();
        const RunResult result = run.Run();
        EXPECT_EQ(allOrNothing ? QMX_INST_NOT_APPLICABLE : QMX_INST_COPIED | QMX_INST_NOT_APPLICABLE, result.outcome);
        EXPECT_EQ(1, result.brokenPackage);
        EXPECT_EQ(Text(FixturePath(allOrNothing ? "V2_9.DLL" : "V2_10.DLL")), Text(Dest())) << allOrNothing;
        EXPECT_EQ(allOrNothing, LogText().find("UndoModule - Restored " + Dest() + ".\r\n") != std::string::npos);
    }
}
