// /undo puts back what that package's runs changed, and no more: the store
// knows which package made a record, a package shipped again over its own
// bytes keeps the record of the state before its first run, a cumulative
// package goes back one package at a time, and the restart counts.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/local/file_deployment.h"
#include "engine/site/outcome.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/os_fault.h"
#include "support/restart_schedule.h"
#include "support/scratch_deployment.h"
#include "support/temp_dir.h"

namespace {

// A fixture's bytes with a last-write time in year, at path.
void Put(const std::string& fixture, const std::string& path, int year) {
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(::CopyFileA(FixturePath(fixture).c_str(), path.c_str(), FALSE)) << fixture;
    SYSTEMTIME when = {};
    when.wYear = static_cast<WORD>(year);
    when.wMonth = 6;
    when.wDay = 1;
    FILETIME time;
    ::SystemTimeToFileTime(&when, &time);
    HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ::SetFileTime(file, nullptr, nullptr, &time);
    ::CloseHandle(file);
}

// A package: its folder, and the modules it lists.
struct Package {
    TempDir folder;
    FileList list;
};

class PackageUndo : public ScratchDeployment {
protected:
    // A package shipping each (name, fixture) with its time.
    std::unique_ptr<Package> Ship(std::initializer_list<std::pair<std::string, std::string>> modules, int year = 2010) {
        auto package = std::make_unique<Package>();
        for (const auto& module : modules) {
            Put(module.second, package->folder.File(module.first), year);
            package->list.push_back(module.first);
        }
        return package;
    }
    void Install(const std::string& fixture, const std::string& name, int year = 2000) {
        Put(fixture, m_system.File(name), year);
    }
    // One whole run of package, as a run makes it: the outcome bits.
    uint32_t Run(const Package& package, bool undo = false) {
        FileDeployment site(machine, package.folder.path(), m_store.path());
        EXPECT_EQ(1, site.VerifyPackage(package.list));
        uint32_t bits = 0;
        for (const std::string& name : package.list) {
            bits |= undo ? site.Undo(name, machine, false).bit : site.Deploy(name, machine).bit;
        }
        site.EndRun();
        return bits;
    }
    // The installed module is the fixture's bytes.
    bool Holds(const std::string& name, const std::string& fixture) const {
        return FileText(m_system.File(name)) == FileText(FixturePath(fixture));
    }
    std::string Staging(const std::string& name) const {
        return m_system.File(name.substr(0, name.size() - 1) + "M");
    }
};

class Holder {
public:
    explicit Holder(const std::string& path)
        : m_h(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Holder() { Release(); }
    void Release() {
        if (m_h != INVALID_HANDLE_VALUE) ::CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};

}  // namespace

// The package copied again with newer times replaces its own bytes by time:
// the record of the state before its first run stays, and one /undo gives
// that state back.
TEST_F(PackageUndo, ThePackageShippedAgainOverItsOwnBytesKeepsTheFirstRecord) {
    Install("V2_9.DLL", "X.DLL");
    const auto first = Ship({{"X.DLL", "V2_10.DLL"}}, 2010);
    ASSERT_EQ(QMX_INST_COPIED, Run(*first));
    const auto again = Ship({{"X.DLL", "V2_10.DLL"}}, 2011);
    Put("V2_10.DLL", m_system.File("X.DLL"), 2005);  // as a tool that keeps no times left it
    EXPECT_EQ(QMX_INST_COPIED, Run(*again));
    EXPECT_EQ(QMX_INST_COPIED, Run(*again, true));
    EXPECT_TRUE(Holds("X.DLL", "V2_9.DLL"));
}

// 2.0 replaced A and X; 3.0 ships a new A and X as 2.0 did. /undo of 3.0
// gives back A 2.0 and leaves X, which 3.0 never changed, even when it was
// shipped with a newer time; /undo of 2.0 then gives back both 1.0s.
TEST_F(PackageUndo, ACumulativePackageGoesBackOnePackageAtATime) {
    for (const int xYear : {2010, 2012}) {
        Install("V1_0.DLL", "A.DLL");
        Install("V1_0.DLL", "X.DLL");
        const auto two = Ship({{"A.DLL", "V2_9.DLL"}, {"X.DLL", "V2_9.DLL"}}, 2010);
        const auto three = Ship({{"A.DLL", "V3_0.DLL"}}, 2011);
        Put("V2_9.DLL", three->folder.File("X.DLL"), xYear);
        three->list.push_back("X.DLL");
        ASSERT_EQ(QMX_INST_COPIED, Run(*two)) << xYear;
        ASSERT_EQ(xYear == 2010 ? QMX_INST_COPIED | QMX_INST_SKIPPED : QMX_INST_COPIED, Run(*three)) << xYear;

        EXPECT_EQ(QMX_INST_COPIED | QMX_INST_SKIPPED, Run(*three, true)) << xYear;
        EXPECT_TRUE(Holds("A.DLL", "V2_9.DLL")) << xYear;
        EXPECT_TRUE(Holds("X.DLL", "V2_9.DLL")) << xYear;
        EXPECT_EQ(QMX_INST_COPIED, Run(*two, true)) << xYear;
        EXPECT_TRUE(Holds("A.DLL", "V1_0.DLL")) << xYear;
        EXPECT_TRUE(Holds("X.DLL", "V1_0.DLL")) << xYear;
    }
}

// Installed while in use (our pair waiting), then undone before the restart:
// the staged copy holds the module's own bytes, so the restart brings
// nothing of the package's.
TEST_F(PackageUndo, UndoBeforeTheRestartTakesBackThePackagesWaitingCopy) {
    Install("V2_9.DLL", "X.DLL");
    const auto package = Ship({{"X.DLL", "V2_10.DLL"}});
    {
        Holder held(m_system.File("X.DLL"));
        ASSERT_EQ(QMX_INST_ON_REBOOT, Run(*package));
    }
    ASSERT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Staging("X.DLL")));
    EXPECT_EQ(QMX_INST_COPIED, Run(*package, true));
    EXPECT_TRUE(Holds("X.DLL", "V2_9.DLL"));
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Staging("X.DLL")));
    // Nothing of the package's left to undo.
    EXPECT_EQ(QMX_INST_SKIPPED, Run(*package, true));
}

// Undone while in use (the kept copy waits for the restart), then installed
// again before it: the run sees the module as the kept copy that will come,
// so the restart leaves the package's copy, and a later /undo still has the
// state before the package to give back.
TEST_F(PackageUndo, InstallAfterAStagedUndoSeesTheModuleAsTheKeptCopy) {
    Install("V2_9.DLL", "X.DLL");
    const auto package = Ship({{"X.DLL", "V2_10.DLL"}});
    ASSERT_EQ(QMX_INST_COPIED, Run(*package));
    {
        Holder held(m_system.File("X.DLL"));
        ASSERT_EQ(QMX_INST_ON_REBOOT, Run(*package, true));
    }
    ASSERT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Staging("X.DLL")));
    EXPECT_EQ(QMX_INST_SKIPPED, Run(*package));
    EXPECT_TRUE(Holds("X.DLL", "V2_10.DLL"));
    EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Staging("X.DLL")));
    EXPECT_EQ(QMX_INST_COPIED, Run(*package, true));
    EXPECT_TRUE(Holds("X.DLL", "V2_9.DLL"));
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Staging("X.DLL")));
}

// Our older staged copy still waits while someone else has updated the
// module past it: the pair is made harmless and the module is current.
TEST_F(PackageUndo, OurOlderStagedCopyNeverDowngradesAModuleUpdatedSince) {
    Install("V2_9.DLL", "X.DLL");
    const auto package = Ship({{"X.DLL", "V2_10.DLL"}});
    {
        Holder held(m_system.File("X.DLL"));
        ASSERT_EQ(QMX_INST_ON_REBOOT, Run(*package));
    }
    Install("V3_0.DLL", "X.DLL", 2020);  // someone else's update
    EXPECT_EQ(QMX_INST_SKIPPED, Run(*package));
    EXPECT_TRUE(Holds("X.DLL", "V3_0.DLL"));
    EXPECT_EQ(FileText(FixturePath("V3_0.DLL")), FileText(Staging("X.DLL")));
}

namespace {

std::string g_cutShort;

// 95/98/Me's copy over a module that stops halfway: the module is changed
// and the copy fails.
BOOL WINAPI CopyHalfThenFail(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    if (g_cutShort != to) return RealOsCalls().CopyFileA(from, to, failIfExists);
    g_cutShort.clear();  // once
    std::string bytes;
    ReadWholeFile(from, &bytes);
    WriteWholeFile(to, bytes.substr(0, bytes.size() / 2));
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

}  // namespace

// Windows 98: a copy over the module that fails in the middle puts the kept
// copy back, and keeps it: the module and its kept copy are both whole.
TEST_F(PackageUndo, OnWindows98AFailedCopyOverTheModuleLosesNeitherCopy) {
    machine.osClass = QMX_OS_WIN9X;
    Install("V2_9.DLL", "X.DLL");
    const auto package = Ship({{"X.DLL", "V2_10.DLL"}});
    g_cutShort = m_system.File("X.DLL");
    {
        OsCallsGuard guard;
        guard.Set(&OsCalls::CopyFileA, &CopyHalfThenFail);
        EXPECT_EQ(QMX_INST_FAILED, Run(*package));
    }
    EXPECT_TRUE(Holds("X.DLL", "V2_9.DLL"));
    // The record stays, whole: installed afterwards and undone, it is what
    // comes back.
    EXPECT_EQ(QMX_INST_COPIED, Run(*package));
    EXPECT_EQ(QMX_INST_COPIED, Run(*package, true));
    EXPECT_TRUE(Holds("X.DLL", "V2_9.DLL"));
}

// A module whose name leaves no room for an old record's name under MAX_PATH
// is kept and put back.
TEST_F(PackageUndo, AModuleWithALongNameIsKeptAndPutBack) {
    const std::string name = std::string(150, 'L') + ".DLL";
    ASSERT_LT(m_system.File(name).size(), static_cast<size_t>(MAX_PATH));
    Install("V2_9.DLL", name);
    const auto package = Ship({{name, "V2_10.DLL"}});
    EXPECT_EQ(QMX_INST_COPIED, Run(*package));
    EXPECT_EQ(QMX_INST_COPIED, Run(*package, true));
    EXPECT_TRUE(Holds(name, "V2_9.DLL"));
}
