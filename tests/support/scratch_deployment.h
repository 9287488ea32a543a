// A deployment between two scratch folders, the "package" and the "system
// directory", on an administrator's NT machine, with the log switched on;
// the replaced copies are kept in a third, the store.
// The restart-time schedule (delayed moves, WININIT.INI) is put back as it
// was when the test ends.
#pragma once

#include <gtest/gtest.h>

#include "engine/local/file_deployment.h"
#include "engine/run/module_decision.h"
#include "log/debug_log.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/logged_test.h"
#include "support/restart_schedule.h"
#include "support/temp_dir.h"

class ScratchDeployment : public LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        m_scheduleBefore = ReadRestartSchedule();
        machine.systemDir = m_system.path();
        machine.programDir = m_program.path();
        machine.isAdmin = 1;
        machine.osClass = QMX_OS_NT5_OR_LATER;
        // As in a run under way: sfc.dll, which a run loads at its first
        // newer module and holds to its end, is held already, so that a
        // test's count of handles sees what one module leaves behind.
        env.IsProtected(m_system.File("QMXNONE.DLL"));
    }
    void TearDown() override {
        LoggedTest::TearDown();
        RestoreRestartSchedule(m_scheduleBefore);
    }

    TempDir m_system;
    TempDir m_program;
    TempDir m_store;
    Machine machine;
    FileDeployment env{machine, std::string(), m_store.path()};

private:
    RestartSchedule m_scheduleBefore;
};

// One module, X.DLL, shipped as 2.10 over an installed 2.9.
class NewerModuleDeployment : public ScratchDeployment {
protected:
    void SetUp() override {
        ScratchDeployment::SetUp();
        Ship("V2_10.DLL");
        Install("V2_9.DLL");
    }
    // X.DLL in the package, or in the system folder, a copy of fixture.
    void Ship(const std::string& fixture) {
        ASSERT_TRUE(::CopyFileA(FixturePath(fixture).c_str(), Source().c_str(), FALSE));
    }
    void Install(const std::string& fixture) {
        ::SetFileAttributesA(Dest().c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(::CopyFileA(FixturePath(fixture).c_str(), Dest().c_str(), FALSE));
    }
    std::string Source() const { return m_program.File("X.DLL"); }
    std::string Dest() const { return m_system.File("X.DLL"); }
    std::string Staging() const { return m_system.File("X.DLM"); }
};
