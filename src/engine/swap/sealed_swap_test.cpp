// The bytes that replace a module are the bytes its package's seal vouched
// for: a module changed after the seal was checked never goes in.
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "engine/local/file_deployment.h"
#include "engine/run/module_decision.h"
#include "engine/seal/file_hash.h"
#include "engine/seal/seal_file.h"
#include "log/debug_log.h"
#include "platform/os_calls.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/restart_schedule.h"
#include "support/scratch_deployment.h"
#include "support/temp_dir.h"

namespace {

std::string g_package;
const char kChanged[] = "changed after the seal was checked";

// The package's module changes while the copy is made: CopyFileA copies,
// then the copy's bytes are no longer the sealed ones.
BOOL WINAPI CopyThenChange(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    const BOOL copied = RealOsCalls().CopyFileA(from, to, failIfExists);
    if (copied && g_package == from) WriteWholeFile(to, kChanged);
    return copied;
}

class SealedSwap : public ScratchDeployment {
protected:
    void SetUp() override {
        ScratchDeployment::SetUp();
        ASSERT_TRUE(::CopyFileA(FixturePath("V2_10.DLL").c_str(), Source().c_str(), FALSE));
        ASSERT_TRUE(::CopyFileA(FixturePath("V2_9.DLL").c_str(), Dest().c_str(), FALSE));
        Seal();
        g_package = Source();
    }

    // A seal of the package as it is now, checked as the run checks it.
    void Seal() {
        WriteWholeFile(m_program.File("QMX_CHG.DAT"), "[File]\r\nX.DLL\r\n");
        std::string text;
        for (const char* name : {"QMX_CHG.DAT", "X.DLL"}) {
            Sha256Digest digest;
            uint32_t error = 0;
            ASSERT_EQ(1, HashFile(m_program.File(name), &digest, &error));
            text += SealLineText(digest, name);
        }
        ASSERT_TRUE(WriteWholeFile(m_program.File(kSealFileName), text));
        ASSERT_EQ(1, env.VerifyPackage(m_list));
    }

    std::string Source() const { return m_program.File("X.DLL"); }
    std::string Dest() const { return m_system.File("X.DLL"); }

    // The run's list, which the site holds on to for the run.
    const std::deque<std::string> m_list{"X.DLL"};
};

TEST_F(SealedSwap, ACopyThatIsNotTheSealedOneNeverTakesTheModulesPlace) {
    const std::string installed = FileText(Dest());
    const struct {
        const char* how;
        int32_t osClass;
        bool changeOnDisk;  // else while it is copied
    } cases[] = {
        {"changed on disk, NT", QMX_OS_NT5_OR_LATER, true},
        {"changed while copied, NT", QMX_OS_NT5_OR_LATER, false},
        {"changed on disk, 98", QMX_OS_WIN9X, true},
    };
    for (const auto& c : cases) {
        ClearLog();
        machine.osClass = c.osClass;
        OsCallsGuard guard;
        if (c.changeOnDisk) {
            ASSERT_TRUE(WriteWholeFile(Source(), FileText(FixturePath("V2_10.DLL")) + "tail"));
        } else {
            guard.Set(&OsCalls::CopyFileA, &CopyThenChange);
        }
        EXPECT_EQ(QMX_INST_FAILED, env.Deploy("X.DLL", machine).bit) << c.how;
        EXPECT_EQ(installed, FileText(Dest())) << c.how;
        const std::string log = LogText();
        EXPECT_NE(std::string::npos,
                  log.find("CopyTargetFile - CopyFile is failed.(23) " + Source() + " -> " + Dest() + "\r\n"))
            << c.how << "\n" << log;
        EXPECT_FALSE(PathExists(m_system.File("X.DLM"))) << c.how;
        ASSERT_TRUE(::CopyFileA(FixturePath("V2_10.DLL").c_str(), Source().c_str(), FALSE));
    }
    // Nothing of ours is left beside the module.
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA(m_system.File("*.TMP").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search);
    if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
}

TEST_F(SealedSwap, AStagedCopyThatIsNotTheSealedOneIsNotScheduled) {
    const std::string installed = FileText(Dest());
    HANDLE held = ::CreateFileA(Dest().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    OsCallsGuard guard;
    guard.Set(&OsCalls::CopyFileA, &CopyThenChange);
    EXPECT_EQ(QMX_INST_FAILED, env.Deploy("X.DLL", machine).bit);
    ::CloseHandle(held);
    EXPECT_EQ(installed, FileText(Dest()));
    EXPECT_FALSE(PathExists(m_system.File("X.DLM")));
    EXPECT_NE(std::string::npos, LogText().find("MoveOnReboot - CopyFile is failed.(23) "));
}

TEST_F(SealedSwap, TheSealedCopyGoesIn) {
    EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Dest()));
}

}  // namespace
