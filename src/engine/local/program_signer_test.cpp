// The running program's own signer: the test program is unsigned and reads
// no file for it; headers of a loaded image that declare a certificate
// table the file on disk lacks (a copy put in the program's place) leave
// the signer unreadable. A real signature is read end to end by the
// signed_seal scenario, from QMXSET.EXE signed by scripts/sign.sh.
#include "engine/local/program_signer.h"

#include <gtest/gtest.h>

#include <string>

#include "support/os_fault.h"

namespace {

void Put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A header page of a PE32 image with sixteen directories, the certificate
// table's at 0x2000, 0x800 bytes.
std::string SignedHeaders() {
    std::string page(4096, '\0');
    page.replace(0, 2, "MZ");
    Put32(page, 0x3C, 0x40);
    page.replace(0x40, 4, std::string("PE\0\0", 4));
    Put32(page, 0x44, 0x14C);
    Put32(page, 0x54, 0xE0);  // the optional header's size
    Put32(page, 0x58, 0x10B);
    Put32(page, 0x58 + 92, 16);
    Put32(page, 0x58 + 96 + 4 * 8, 0x2000);
    Put32(page, 0x58 + 96 + 4 * 8 + 4, 0x800);
    return page;
}

TEST(OwnSigner, AnUnsignedProgramReadsNoFile) {
    OsFault<&OsCalls::CreateFileA> opens(1000, INVALID_HANDLE_VALUE, 0);
    const ProgramSigner signer = OwnSigner();
    EXPECT_EQ(ProgramSigner::kUnsigned, signer.state);
    EXPECT_EQ(nullptr, signer.Publisher());
    EXPECT_EQ(0, opens.calls());
}

TEST(OwnSigner, AFileThatIsNotTheLoadedImageOrCannotBeReadIsNoSigner) {
    static const std::string image = SignedHeaders();
    OsFault<&OsCalls::GetModuleHandleA> loaded(1, reinterpret_cast<HMODULE>(const_cast<char*>(image.data())), 0,
                                               true);
    ProgramSigner signer = OwnSigner();
    EXPECT_EQ(ProgramSigner::kUnreadable, signer.state);
    ASSERT_NE(nullptr, signer.Publisher());
    EXPECT_EQ("", *signer.Publisher());
    OsFault<&OsCalls::CreateFileA> denied(1, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    signer = OwnSigner();
    EXPECT_EQ(ProgramSigner::kUnreadable, signer.state);
    EXPECT_EQ(1, denied.fired());
}

}  // namespace
