// QMXCHECK.EXE has no signer of its own: Windows' CryptoAPI of the oldest
// systems it runs on cannot make a SHA-256 signature.
#include "check/seal_signing.h"

namespace {

const char kCannotSign[] =
    "QMXCHECK.EXE cannot sign the seal: sign it with the build machine's qmxcheck --seal --signer, or with "
    "openssl cms -sign -binary -md sha256 -outform DER";

}  // namespace

int ReadSealSigner(const SealSignerFiles&, std::string*, std::string* problem) {
    *problem = kCannotSign;
    return 0;
}

int SignSeal(const SealSignerFiles&, const std::string&, std::string*, std::string* problem) {
    *problem = kCannotSign;
    return 0;
}
