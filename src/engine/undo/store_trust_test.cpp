// The store trusts only what the installer wrote: a store someone else owns
// or may write is refused, a planted record never reaches the system folder,
// and a restored module takes the security it had when it was kept.
#include "engine/undo/store_trust.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/local/file_deployment.h"
#include "engine/undo/store_record.h"
#include "support/fixture_path.h"
#include "support/log_file.h"
#include "support/scratch_deployment.h"
#include "support/temp_dir.h"

namespace {

// The security the store's folders seem to have.
std::string g_folderSecurity;

// Folders answer g_folderSecurity; files what they are.
DWORD WINAPI ForeignFolders(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION which, PSID* owner,
                            PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return RealOsCalls().GetSecurityInfo(handle, type, which, owner, group, dacl, sacl, descriptor);
    }
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(g_folderSecurity.c_str(), SDDL_REVISION_1,
                                                                descriptor, nullptr)) {
        return ::GetLastError();
    }
    BOOL present = FALSE, defaulted = FALSE;
    if (owner) ::GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
    if (dacl) ::GetSecurityDescriptorDacl(*descriptor, &present, dacl, &defaulted);
    return ERROR_SUCCESS;
}

// The module's DACL as SDDL.
std::string DaclOf(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                nullptr, &descriptor) != ERROR_SUCCESS) {
        return "<unreadable>";
    }
    char* text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                           &text, nullptr);
    const std::string dacl = text ? text : "";
    ::LocalFree(text);
    ::LocalFree(descriptor);
    return dacl;
}

class StoreTrustTest : public NewerModuleDeployment {
protected:
    // The record of V2_9 replaced by V2_10 under the all-zero identity of a
    // site told no list.
    std::string Record(const std::string& old) const {
        const Sha256Digest key = RecordKey(Sha256Digest(), "X.DLL");
        return m_store.File(std::string(1, kStoreFolderDigits[RecordFolder(key)]) + "\\" + RecordPrefix(key) + old);
    }
    static std::string DigestOfText(const std::string& text) {
        Sha256 hash;
        hash.Update(text.data(), text.size());
        return DigestHex(hash.Final());
    }
};

}  // namespace

// Owned by someone else, or open to someone else's writing: nothing is kept
// there, so nothing is replaced, and /undo takes nothing from it.
TEST_F(StoreTrustTest, AStoreSomeoneElseOwnsOrMayWriteIsRefused) {
    const struct {
        const char* what;
        const char* security;
    } cases[] = {
        {"owned by Users", "O:BUD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
        {"Users may create files", "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x100002;;;BU)"},
        {"Everyone may change its DACL", "O:SYD:(A;OICI;FA;;;SY)(A;;WD;;;WD)"},
        {"no DACL at all", "O:BA"},
    };
    for (const auto& c : cases) {
        g_folderSecurity = c.security;
        Install("V2_9.DLL");
        ClearLog();
        {
            OsCallsGuard guard;
            guard.Set(&OsCalls::GetSecurityInfo, &ForeignFolders);
            FileDeployment deployment(machine, std::string(), m_store.path());
            EXPECT_EQ(QMX_INST_FAILED, deployment.Deploy("X.DLL", machine).bit) << c.what;
        }
        EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest())) << c.what;
        EXPECT_NE(std::string::npos, LogText().find("CopyTargetFile - Cannot keep " + Dest() + ".(1338)\r\n"))
            << c.what << LogText();
    }
    // Kept while the store was ours; refused once it is not.
    ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    env.EndRun();
    g_folderSecurity = cases[0].security;
    ClearLog();
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetSecurityInfo, &ForeignFolders);
    EXPECT_EQ(QMX_INST_FAILED, env.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Dest()));
    EXPECT_NE(std::string::npos, LogText().find("UndoModule - Cannot restore " + Dest() + ".(1338)\r\n"));
}

// An inherited DACL with trusted entries only, as an earlier installer's
// store has, is accepted, and made the store's own.
TEST_F(StoreTrustTest, AnInheritedStoreOfTrustedEntriesIsUsed) {
    g_folderSecurity = "O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;OICIIOID;GA;;;CO)";
    OsCallsGuard guard;
    guard.Set(&OsCalls::GetSecurityInfo, &ForeignFolders);
    EXPECT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit) << LogText();
}

// A record planted beside the real one, its name and bytes agreeing: the
// store is inconsistent, and /undo puts neither back.
TEST_F(StoreTrustTest, APlantedRecordNeverReachesTheSystemFolder) {
    ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    env.EndRun();
    const std::string planted = "planted bytes";
    ASSERT_TRUE(WriteWholeFile(Record(DigestOfText(planted)), planted));
    ClearLog();
    EXPECT_EQ(QMX_INST_FAILED, env.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(FileText(FixturePath("V2_10.DLL")), FileText(Dest()));
    EXPECT_NE(std::string::npos, LogText().find("UndoModule - Cannot restore " + Dest() + ".(1392)\r\n"));
}

// A file already under the name the record is to have, but not the module's
// bytes, is not taken for the kept copy: the module is kept for real.
TEST_F(StoreTrustTest, KeepingChecksAFileAlreadyUnderTheRecordsName) {
    std::string installed;
    ASSERT_TRUE(ReadWholeFile(FixturePath("V2_9.DLL"), &installed));
    const std::string name = Record(DigestOfText(installed));
    ::CreateDirectoryA(name.substr(0, name.rfind('\\')).c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(name, "not the module"));
    ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    env.EndRun();
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(name));
    EXPECT_EQ(QMX_INST_COPIED, env.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest()));
}

// The kept file's DACL opened to everyone since: the module put back takes
// the DACL it had when it was kept.
TEST_F(StoreTrustTest, ARestoredModuleTakesTheSecurityItHadWhenItWasKept) {
    const std::string before = DaclOf(Dest());
    ASSERT_EQ(QMX_INST_COPIED, env.Deploy("X.DLL", machine).bit);
    env.EndRun();
    std::string installed;
    ASSERT_TRUE(ReadWholeFile(FixturePath("V2_9.DLL"), &installed));
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;FA;;;WD)", SDDL_REVISION_1, &open,
                                                                       nullptr));
    ASSERT_TRUE(::SetFileSecurityA(Record(DigestOfText(installed)).c_str(), DACL_SECURITY_INFORMATION, open));
    ::LocalFree(open);
    ASSERT_NE(before, DaclOf(Record(DigestOfText(installed))));
    EXPECT_EQ(QMX_INST_COPIED, env.Undo("X.DLL", machine, false).bit);
    EXPECT_EQ(FileText(FixturePath("V2_9.DLL")), FileText(Dest()));
    EXPECT_EQ(before, DaclOf(Dest()));
}
