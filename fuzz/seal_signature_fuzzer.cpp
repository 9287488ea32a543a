// CheckSealSignature over arbitrary signatures of one seal: the sanitizers
// catch any read outside the input or the numbers, and the verdict keeps
// its contract. The corpus holds openssl's signatures of this very seal,
// with and without signed attributes, so that mutations reach the RSA
// arithmetic and the attributes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/seal/seal_signature.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string signature(reinterpret_cast<const char*>(data), size);
    const std::string seal = "5d41402abc4b2a76b9719d911017c592e2b9f1bd3a4d6c1b53b0c97d8c9bde6a  QMX_CHG.DAT\n";
    const SealSignature anyone = CheckSealSignature(signature, seal, nullptr);
    FUZZ_CHECK(anyone.state != SealSignatureState::kOtherSigner);
    FUZZ_CHECK((anyone.state == SealSignatureState::kUnreadable) == anyone.signer.empty());
    // Asked for the certificate it names, the same verdict; asked for
    // another, never verified.
    const SealSignature named = CheckSealSignature(signature, seal, &anyone.signer);
    FUZZ_CHECK(named.state == anyone.state && named.signer == anyone.signer);
    const std::string other = anyone.signer + "x";
    const SealSignatureState otherState = CheckSealSignature(signature, seal, &other).state;
    FUZZ_CHECK(otherState == (anyone.signer.empty() ? SealSignatureState::kUnreadable : SealSignatureState::kOtherSigner));
    return 0;
}
