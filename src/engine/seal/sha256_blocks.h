// The SHA-256 compression function, two ways: in portable C++, and with the
// processor's SHA extensions, which hash a package several times as fast.
// Internal to the hash; free of Win32.
#pragma once

#include <cstddef>
#include <cstdint>

// The 64 round constants, shared by the two.
extern const uint32_t kSha256RoundConstants[64];

// Folds blocks whole 64-byte blocks, from data, into state.
void Sha256BlocksPortable(uint32_t state[8], const unsigned char* data, size_t blocks);

// The same with the x86 SHA extensions. Only where Sha256CpuBlocksUsable().
void Sha256BlocksCpu(uint32_t state[8], const unsigned char* data, size_t blocks);

// Whether this processor has the SHA extensions (and the SSSE3 and SSE4.1
// they are used with), and the system keeps the vector registers of each
// thread. False on any other processor.
bool Sha256CpuBlocksUsable();

// Whether the system saves a thread's SSE registers when it switches
// threads: without that the instructions fault, whatever the processor has.
// Defined once per system (vector_state-*.cpp).
bool SystemKeepsVectorState();
