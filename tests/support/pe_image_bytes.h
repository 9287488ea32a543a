// PE images written field by field, for the tests of what reads a module's
// machine: the COFF header's machine, the optional header's kind, a CLI
// header's flags and a load configuration's hybrid metadata pointer.
#pragma once

#include <cstdint>
#include <string>

inline void PutLittleEndian(std::string& bytes, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// One section at address 0x1000, raw at 0x400; directory 10 (load
// configuration) at 0x1000 and 14 (CLI header) at 0x1100 when asked for.
struct PeImageBytes {
    uint16_t machine = 0x014C;
    bool pe32Plus = false;
    uint32_t clrFlags = 0;        // 0: no CLI header
    uint32_t loadConfigSize = 0;  // 0: no load configuration
    uint32_t chpe = 0;            // CHPEMetadataPointer's low half

    std::string Bytes() const {
        const size_t optional = 0x58, directories = optional + (pe32Plus ? 112 : 96), table = directories + 16 * 8;
        std::string image(0x800, '\0');
        Put(image, 0, 0x5A4D, 2);
        Put(image, 0x3C, 0x40, 4);
        Put(image, 0x40, 0x4550, 4);
        Put(image, 0x44, machine, 2);
        Put(image, 0x46, 1, 2);
        Put(image, 0x54, static_cast<uint32_t>(table - optional), 2);
        Put(image, optional, pe32Plus ? 0x20B : 0x10B, 2);
        Put(image, directories - 4, 16, 4);
        Put(image, table + 8, 0x400, 4);
        Put(image, table + 12, 0x1000, 4);
        Put(image, table + 16, 0x400, 4);
        Put(image, table + 20, 0x400, 4);
        if (loadConfigSize) {
            Put(image, directories + 8 * 10, 0x1000, 4);
            Put(image, directories + 8 * 10 + 4, loadConfigSize, 4);
            Put(image, 0x400, loadConfigSize, 4);
            Put(image, 0x400 + 0xC8, chpe, 4);
        }
        if (clrFlags) {
            Put(image, directories + 8 * 14, 0x1100, 4);
            Put(image, directories + 8 * 14 + 4, 72, 4);
            Put(image, 0x500, 72, 4);
            Put(image, 0x500 + 16, clrFlags, 4);
        }
        return image;
    }

private:
    static void Put(std::string& bytes, size_t at, uint32_t value, int width) {
        PutLittleEndian(bytes, at, value, width);
    }
};
