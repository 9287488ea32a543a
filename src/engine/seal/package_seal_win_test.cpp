// VerifyPackage on a package folder on disk, with the log on: what it
// answers and the one line it writes.
#include "engine/seal/package_seal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/seal/seal_signature.h"
#include "log/debug_log.h"
#include "support/log_file.h"
#include "support/logged_test.h"
#include "support/temp_dir.h"

namespace {

std::string Line(const std::string& bytes, const std::string& name) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return SealLineText(hash.Final(), name);
}

class VerifyPackageOnDisk : public LoggedTest {
protected:
    void SetUp() override {
        LoggedTest::SetUp();
        WriteWholeFile(m_dir.File("QMX_CHG.DAT"), "[Install]\r\n2:5:1\r\n[File]\r\nA.DLL\r\nB.DLL\r\n");
        WriteWholeFile(m_dir.File("a.dll"), "MZ module a");
        WriteWholeFile(m_dir.File("B.DLL"), "MZ module b");
        WriteWholeFile(m_dir.File("QMXSET.EXE"), "MZ program");
        m_seal = Line("[Install]\r\n2:5:1\r\n[File]\r\nA.DLL\r\nB.DLL\r\n", "QMX_CHG.DAT") +
                 Line("MZ module a", "a.dll") + Line("MZ module b", "B.DLL") + Line("MZ program", "QMXSET.EXE");
    }
    int Verify(const std::string* publisher = nullptr) { return VerifyPackage(m_dir.path(), m_fileList, publisher); }

    TempDir m_dir;
    std::deque<std::string> m_fileList = {"A.DLL", "B.DLL"};
    std::string m_seal;
};

}  // namespace

TEST_F(VerifyPackageOnDisk, AnUnsealedOrWholePackagePassesSilently) {
    EXPECT_EQ(1, Verify());
    ASSERT_TRUE(WriteWholeFile(m_dir.File("qmx_chg.sum"), m_seal));
    EXPECT_EQ(1, Verify());
    ASSERT_TRUE(WriteWholeFile(m_dir.File("QMX_CHG.SUM"), m_seal));
    SealedDigests vouched;
    EXPECT_EQ(1, VerifyPackage(m_dir.path() + "\\", m_fileList, nullptr, &vouched));
    EXPECT_EQ("", LogText());
    ASSERT_NE(nullptr, vouched.Find("A.DLL"));
    EXPECT_EQ(Line("MZ module a", "A.DLL").substr(0, 64), DigestHex(*vouched.Find("A.DLL")));
}

// A seal beyond the size limit is damaged, not read. Each other fault (a
// module, the change list, a digest or a name changed, a line out of shape)
// is refused with its own line, and nothing installed, by the end-to-end
// test 'sealed'.
TEST_F(VerifyPackageOnDisk, ASealTooLargeIsDamaged) {
    ASSERT_TRUE(WriteWholeFile(m_dir.File("QMX_CHG.SUM"), m_seal + std::string(kMaxSealSize, '\n')));
    EXPECT_EQ(0, Verify());
    EXPECT_EQ("VerifyPackage - QMX_CHG.SUM is damaged.\r\n", LogText());
}

TEST_F(VerifyPackageOnDisk, ASealThatCannotBeReadIsDamagedNotAbsent) {
    ASSERT_TRUE(WriteWholeFile(m_dir.File("QMX_CHG.SUM"), m_seal));
    HANDLE writer = ::CreateFileA(m_dir.File("QMX_CHG.SUM").c_str(), GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(0, Verify());
    ::CloseHandle(writer);
    EXPECT_EQ("VerifyPackage - QMX_CHG.SUM is damaged.\r\n", LogText());
}

// A signed program's seal with a signature too large or held by a writer:
// neither is read, and the package is not its publisher's.
TEST_F(VerifyPackageOnDisk, ASignatureTooLargeOrUnreadableIsNotThePublishers) {
    const std::string publisher = "certificate";
    const std::string notSigned = "VerifyPackage - QMX_CHG.SUM is not signed by the publisher of QMXSET.EXE.\r\n";
    ASSERT_TRUE(WriteWholeFile(m_dir.File("QMX_CHG.SUM"), m_seal));
    ASSERT_TRUE(WriteWholeFile(m_dir.File("QMX_CHG.SUM.p7s"), std::string(kMaxSealSignatureSize + 1, '0')));
    EXPECT_EQ(0, Verify(&publisher));
    EXPECT_EQ(notSigned, LogText());
    HANDLE writer = ::CreateFileA(m_dir.File("QMX_CHG.SUM.p7s").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(0, Verify(&publisher));
    ::CloseHandle(writer);
    EXPECT_EQ(notSigned + notSigned, LogText());
}
