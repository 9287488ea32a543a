// ParseVersionText over arbitrary texts: the three numbers must equal those of
// the plain reading (pieces between "." and ",", 32 characters each).
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/version/version_string.h"
#include "fuzz_check.h"
#include "reference_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A version resource hands out a zero-terminated text.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* text = bytes.c_str();

    VersionNumbers numbers = {-1, -1, -1};
    ParseVersionText(text, &numbers);
    int32_t expected[3];
    reference::VersionNumbers3(text, expected);
    FUZZ_CHECK(numbers.major == expected[0]);
    FUZZ_CHECK(numbers.minor == expected[1]);
    FUZZ_CHECK(numbers.third == expected[2]);

    ParseVersionText(text, nullptr);  // no record: nothing to fill, nothing to break
    return 0;
}
