// ReadPeSignature over arbitrary images: the sanitizers catch any read
// outside the input, and every range it hands out lies in the input, in
// order, so that a digest over them cannot read past the file either.
#include <cstddef>
#include <cstdint>
#include <string>

#include "check/authenticode.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const PeSignature sig = ReadPeSignature(bytes);
    FUZZ_CHECK(sig.kind == PeSignature::kPresent || sig.hashed.empty());
    size_t last = 0;
    for (const ByteRange& r : sig.hashed) {
        FUZZ_CHECK(last <= r.begin && r.begin <= r.end && r.end <= size);
        last = r.end;
    }
    FUZZ_CHECK(sig.pkcs7.begin <= sig.pkcs7.end && sig.pkcs7.end <= size);
    if (sig.kind == PeSignature::kPresent) {
        FUZZ_CHECK(sig.pkcs7.begin <= sig.content.begin && sig.content.end <= sig.pkcs7.end);
        FUZZ_CHECK(sig.content.begin <= sig.content.end);
    }
    return 0;
}
