// ReadModuleVersion over arbitrary images: the sanitizers catch any read
// outside the input, and a text, when there is one, fits the installer's
// buffer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "check/module_version.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const ModuleVersion version = ReadModuleVersion(bytes);
    FUZZ_CHECK(version.text.size() <= 259);
    FUZZ_CHECK(version.hasText || version.text.empty());
    FUZZ_CHECK(version.text.find('\0') == std::string::npos);
    return 0;
}
