// A deployment of one file between two scratch folders, the "package" and the
// "system directory", with the log switched on. Every test ends by checking
// that nothing was written anywhere but the system directory, WININIT.INI and
// the log: the package tree, the folders of the Windows installation, the
// temporary folder and the restart-time move list are compared with what
// they held before.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "engine/local/file_deployment.h"
#include "engine/run/module_decision.h"
#include "support/log_file.h"
#include "support/logged_test.h"
#include "support/restart_schedule.h"
#include "support/temp_dir.h"

// Last-write times: kOlder is before kNewer.
const uint64_t kOlder = 0x01D8000000000000ull;
const uint64_t kNewer = 0x01D9000000000000ull;

// Full paths of any length: the setup and the checks reach folders that the
// ANSI functions under test may not (the "\\?\" form of the wide functions).
bool WriteLongFile(const std::string& path, const std::string& bytes);
bool ReadLongFile(const std::string& path, std::string* bytes);
bool SetLongFileTime(const std::string& path, uint64_t time);
bool CreateLongFolder(const std::string& path);
void RemoveLongTree(const std::string& path);
// Every file below folder, by relative path, with its size and a digest of
// its content; folders as entries of their own with the text "<dir>".
std::map<std::string, std::string> TreeContents(const std::string& folder);

std::string FixtureBytes(const std::string& name);
// Size and a digest of bytes: what the tests compare files by, so that a
// failure message stays readable.
std::string Digest(const std::string& bytes);

class HostileDeployment : public LoggedTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A folder of exactly length bytes inside the scratch folder root,
    // created through nested folders.
    static std::string DeepFolder(const std::string& root, size_t length);
    // Points the package or the system directory at folder (created).
    void UsePackageFolder(const std::string& folder);
    void UseSystemFolder(const std::string& folder);

    // name in the package / the system directory, with these bytes and time.
    void Ship(const std::string& bytes, uint64_t time, const std::string& name = "X.DLL");
    void Install(const std::string& bytes, uint64_t time, const std::string& name = "X.DLL");
    std::string Source(const std::string& name = "X.DLL") const { return m_programDir + "\\" + name; }
    std::string Dest(const std::string& name = "X.DLL") const { return m_systemDir + "\\" + name; }
    // Digest of the installed file, or "<missing>".
    std::string Installed(const std::string& name = "X.DLL") const;
    // Files and folders directly in the system directory.
    std::set<std::string> SystemNames() const;
    // The comparison's log lines for a shipped 2.10 against an installed 2.9.
    std::string NewerByMinor() const {
        return "CompareTimeStamp [4a] - " + Source() + " is \"2.10\".\r\n" +
               "CompareTimeStamp [4b] - " + Dest() + " is \"2.9\".\r\n" +
               "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (2).\r\n";
    }

    // The package tree as it is now becomes what TearDown expects.
    void SnapshotPackage();
    // The run may schedule a replacement at restart (a delayed move, or a
    // WININIT.INI entry); TearDown takes it back.
    void AllowRestartSchedule() { m_scheduleAllowed = true; }

    Machine machine;
    // The copies the run keeps go to a store of the test's own: the Windows
    // folder is one of the places nothing may change.
    TempDir m_store;
    FileDeployment env{machine, std::string(), m_store.path()};
    TempDir m_program;
    TempDir m_system;
    std::string m_programDir;
    std::string m_systemDir;

private:
    struct Outside {
        std::map<std::string, std::string> package;
        std::set<std::string> driveRoot, windows, realSystem, temp;
        RestartSchedule restartSchedule;
    };
    Outside Capture() const;

    Outside m_before;
    bool m_scheduleAllowed = false;
};
