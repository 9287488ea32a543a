// The running program's signer, from the image Windows loaded and the file
// it was loaded from.
#include "engine/local/program_signer.h"

#include "engine/seal/package_seal.h"
#include "platform/os_calls.h"
#include "platform/program_path.h"

namespace {

// The headers' page, mapped from the file's first bytes whatever the image.
const size_t kHeaderPage = 4096;
// More than any QMXSET.EXE, signed or not.
const size_t kMaxProgramSize = 16 * 1024 * 1024;

}  // namespace

ProgramSigner OwnSigner() {
    ProgramSigner signer;
    // Read from the loaded image, not from whatever file has the program's
    // name by now: a copy without a signature put in its place after the
    // start must not switch the seal's signature off.
    const char* image = reinterpret_cast<const char*>(g_os.GetModuleHandleA(nullptr));
    PeImage loaded;
    PeDirectory table = {0, 0};
    const bool read = image != nullptr && loaded.ReadHeaders(ByteView(image, kHeaderPage));
    if (read && (!loaded.DeclaresDirectory(kPeCertificateDirectory) ||
                 !loaded.Directory(kPeCertificateDirectory, &table) || (table.address == 0 && table.size == 0))) {
        return signer;
    }
    signer.state = ProgramSigner::kUnreadable;
    std::string bytes;
    const std::string path = ProgramPath();
    if (!read || path.empty() || ReadPackageFile(path, kMaxProgramSize, &bytes) != SealRead::kRead) return signer;
    ProgramSigner file = SignerOfProgram(bytes);
    if (file.table.address != table.address || file.table.size != table.size) return signer;
    return file;
}
