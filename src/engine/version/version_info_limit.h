// The largest version-information block either reader of version resources
// (the installer's, through the platform, and the package check's own)
// accepts. Free of Win32.
#pragma once

#include <cstdint>

// A version resource holds at most 64 KiB (its length is a 16-bit field), and
// the platform asks for twice that and 4 bytes more, room for the texts it
// converts. A larger size comes from a damaged resource directory: reading it
// would have the platform copy past the end of the file (Wine faults there),
// after an allocation of up to 4 GiB.
constexpr uint32_t kMaxVersionInfoSize = 2 * 0x10000 + 4;
