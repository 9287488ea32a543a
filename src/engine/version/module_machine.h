// Which programs can load a module: the machine its PE headers name, with
// the two cases where that field alone misleads. An IL-only .NET image is
// loaded by a program of any machine; an ARM64 image carrying hybrid
// (ARM64EC) code is ARM64X, which Arm64 and x64 programs on Windows on Arm
// both load, so that only another ARM64X may stand in for it. Free of Win32:
// the bytes come through ModuleBytes, from a file or from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ModuleMachine {
    enum Kind {
        kNotImage,  // no PE image: compared as any other file
        kAny,       // IL-only PE32 without 32BITREQUIRED
        kMachine,   // the COFF header's machine
        kArm64x,    // ARM64 with hybrid metadata; machine is ARM64's
    };
    Kind kind = kNotImage;
    uint16_t machine = 0;
};

const uint16_t kMachineI386 = 0x14C;
const uint16_t kMachineX64 = 0x8664;
const uint16_t kMachineArm64 = 0xAA64;

// Where a module's bytes are read from, a piece at a time: the reader asks
// for the headers and at most two small pieces behind them, so that a large
// module is not read whole.
class ModuleBytes {
public:
    virtual ~ModuleBytes() = default;
    // Up to length bytes from offset into out (fewer at the end of the
    // file): false only when the bytes could not be read.
    virtual bool ReadAt(uint64_t offset, size_t length, std::string* out) = 0;
};

// Bytes already in memory (the package check reads modules whole).
// Holds a reference, not a copy: the bytes must outlive it.
class MemoryBytes : public ModuleBytes {
public:
    explicit MemoryBytes(const std::string& bytes) : m_bytes(bytes) {}
    bool ReadAt(uint64_t offset, size_t length, std::string* out) override;

private:
    const std::string& m_bytes;
};

// The module's machine. A file whose headers cannot be read, or are no PE
// image, is kNotImage; *readFailed (when given) says which of the two.
ModuleMachine ReadModuleMachine(ModuleBytes& bytes, bool* readFailed = nullptr);

// "i386", "x64", "arm64", "arm64x", "any", "none", or "0x" and the machine's
// four hex digits for any other.
std::string MachineName(const ModuleMachine& machine);

// Whether shipped can replace installed for every program that loads the
// installed copy. A file that is no PE image on either side fits, as does
// an IL-only shipped image.
bool FitsInstalled(const ModuleMachine& installed, const ModuleMachine& shipped);
