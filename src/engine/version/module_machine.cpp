#include "engine/version/module_machine.h"

#include <vector>

#include "engine/version/pe_image.h"

namespace {

// Enough for the headers of every image a linker writes; an image whose
// section table runs further is read again to its end.
const size_t kHeadBytes = 4096;
const size_t kMostHeadBytes = 64 * 1024;

const size_t kLoadConfigDirectory = 10;
const size_t kClrDirectory = 14;

// IMAGE_COR20_HEADER: Flags at 16.
const size_t kClrFlagsOffset = 16;
const uint32_t kComImageIlOnly = 0x1;
const uint32_t kComImage32BitRequired = 0x2;

// IMAGE_LOAD_CONFIG_DIRECTORY64: its Size first, CHPEMetadataPointer at 0xC8.
// A hybrid image is an ARM64 one whose load configuration points at CHPE
// metadata (as LIEF's Binary::is_arm64x reads it, lief-project/LIEF
// src/PE/Binary.cpp, and the ARM64X layout in Microsoft's "Arm64X PE files").
const size_t kChpeMetadataOffset = 0xC8;

// The file offset of a relative virtual address, by the section table alone:
// the piece behind it is read separately.
bool RawOffset(const PeImage& image, uint32_t address, uint64_t* offset) {
    for (const PeSection& s : image.Sections()) {
        if (address >= s.address && address - s.address < s.rawSize) {
            *offset = static_cast<uint64_t>(s.rawOffset) + (address - s.address);
            return true;
        }
    }
    return false;
}

// Length bytes at a directory's address: false when the image declares no
// such directory, it lies in no section, or the file is cut short there.
bool ReadDirectory(ModuleBytes& bytes, const PeImage& image, size_t index, size_t length, std::string* piece,
                   bool* readFailed) {
    PeDirectory directory = {0, 0};
    uint64_t offset = 0;
    if (!image.DeclaresDirectory(index) || !image.Directory(index, &directory) || directory.address == 0 ||
        !RawOffset(image, directory.address, &offset)) {
        return false;
    }
    if (!bytes.ReadAt(offset, length, piece)) {
        *readFailed = true;
        return false;
    }
    return piece->size() == length;
}

ModuleMachine Machine(ModuleMachine::Kind kind, uint16_t machine) {
    ModuleMachine m;
    m.kind = kind;
    m.machine = machine;
    return m;
}

// An image with a CLI header: IL-only PE32 without 32BITREQUIRED runs
// anywhere; IL-only PE32+ is x64's whatever its COFF header says.
bool ReadManaged(ModuleBytes& bytes, const PeImage& image, ModuleMachine* found, bool* readFailed) {
    std::string clr;
    if (!ReadDirectory(bytes, image, kClrDirectory, kClrFlagsOffset + 4, &clr, readFailed)) return false;
    const uint32_t flags = ByteView(clr).Dword(kClrFlagsOffset);
    if (!(flags & kComImageIlOnly)) return false;
    if (image.IsPe32Plus()) {
        *found = Machine(ModuleMachine::kMachine, kMachineX64);
    } else if (!(flags & kComImage32BitRequired)) {
        *found = Machine(ModuleMachine::kAny, 0);
    } else {
        return false;
    }
    return true;
}

// A load configuration shorter than the pointer's field has no such pointer.
bool IsHybrid(ModuleBytes& bytes, const PeImage& image, bool* readFailed) {
    std::string config;
    if (!image.IsPe32Plus() ||
        !ReadDirectory(bytes, image, kLoadConfigDirectory, kChpeMetadataOffset + 8, &config, readFailed)) {
        return false;
    }
    const ByteView view(config);
    return view.Dword(0) >= kChpeMetadataOffset + 8 &&
           (view.Dword(kChpeMetadataOffset) | view.Dword(kChpeMetadataOffset + 4)) != 0;
}

}  // namespace

bool MemoryBytes::ReadAt(uint64_t offset, size_t length, std::string* out) {
    out->clear();
    if (offset < m_bytes.size()) out->assign(m_bytes, static_cast<size_t>(offset), length);
    return true;
}

ModuleMachine ReadModuleMachine(ModuleBytes& bytes, bool* readFailed) {
    bool failed = false;
    if (!readFailed) readFailed = &failed;
    *readFailed = false;
    std::string head;
    PeImage image;
    if (!bytes.ReadAt(0, kHeadBytes, &head)) {
        *readFailed = true;
        return ModuleMachine();
    }
    if (!image.ReadHeaders(ByteView(head))) return ModuleMachine();
    const size_t tableEnd = image.OptionalHeaderEnd() + 40u * image.SectionCount();
    if (tableEnd > head.size() && head.size() == kHeadBytes && tableEnd <= kMostHeadBytes) {
        if (!bytes.ReadAt(0, tableEnd, &head)) {
            *readFailed = true;
            return ModuleMachine();
        }
        if (!image.ReadHeaders(ByteView(head))) return ModuleMachine();
    }
    // Without its section table no directory can be found: the machine is
    // then the COFF header's alone.
    image.ReadSections();
    ModuleMachine found = Machine(ModuleMachine::kMachine, image.Machine());
    if (ReadManaged(bytes, image, &found, readFailed)) return found;
    if (image.Machine() == kMachineArm64 && IsHybrid(bytes, image, readFailed)) found.kind = ModuleMachine::kArm64x;
    return found;
}

std::string MachineName(const ModuleMachine& machine) {
    switch (machine.kind) {
    case ModuleMachine::kNotImage: return "none";
    case ModuleMachine::kAny: return "any";
    case ModuleMachine::kArm64x: return "arm64x";
    case ModuleMachine::kMachine: break;
    }
    switch (machine.machine) {
    case kMachineI386: return "i386";
    case kMachineX64: return "x64";
    case kMachineArm64: return "arm64";
    default: break;
    }
    // By hand: the C library's formatting, as libstdc++ selects it, would
    // bring mingw's whole printf into the installer.
    static const char kHex[] = "0123456789abcdef";
    std::string number = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) number += kHex[(machine.machine >> shift) & 0xF];
    return number;
}

bool FitsInstalled(const ModuleMachine& installed, const ModuleMachine& shipped) {
    if (installed.kind == ModuleMachine::kNotImage || shipped.kind == ModuleMachine::kNotImage) return true;
    if (shipped.kind == ModuleMachine::kAny) return true;
    if (installed.kind == ModuleMachine::kAny) return false;
    if (installed.kind == ModuleMachine::kArm64x && shipped.kind != ModuleMachine::kArm64x) return false;
    return installed.machine == shipped.machine;
}
