// A PE image's headers read from its bytes: the DOS header, the PE
// signature, the COFF header, the optional header (PE32 or PE32+), its data
// directories and the section table. The bytes may be anyone's (a package's
// module, a program to check): every offset and size is checked against them
// before it is used, and a read that would leave them fails instead. Free of
// Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Little-endian reads that fail, instead of reading, outside the bytes.
class ByteView {
public:
    ByteView(const char* data, size_t size) : m_data(data), m_size(size) {}
    explicit ByteView(const std::string& bytes) : m_data(bytes.data()), m_size(bytes.size()) {}

    // Whether length bytes from offset lie within the bytes.
    bool Has(size_t offset, size_t length) const { return offset <= m_size && length <= m_size - offset; }
    // width (1 to 4) bytes at offset: false, value untouched, outside.
    bool Read(size_t offset, int width, uint32_t* value) const;
    // Two or four bytes at offset; 0 outside.
    uint32_t Word(size_t offset) const;
    uint32_t Dword(size_t offset) const;

    const char* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    const char* m_data;
    size_t m_size;
};

// The data directories this code reads, by their index.
const size_t kPeResourceDirectory = 2;
const size_t kPeCertificateDirectory = 4;

struct PeDirectory {
    uint32_t address;  // a relative virtual address; the certificate table's is a file offset
    uint32_t size;
};

// The certificate table (its directory holds a file offset, not an
// address) and the Authenticode signature its first entry holds.
struct PeCertificates {
    enum Kind {
        kNone,             // no table: the image is not signed
        kOutside,          // the directory points outside the bytes, or into the headers
        kCutShort,         // the first entry does not fit the table
        kNotAuthenticode,  // the first entry is no PKCS #7 SignedData of revision 2.0
        kPresent,
    };
    Kind kind = kNone;
    PeDirectory table = {0, 0};  // the directory as the headers hold it
    size_t pkcs7Begin = 0;       // kPresent: where the first entry's SignedData lies
    size_t pkcs7End = 0;
};

struct PeSection {
    uint32_t address, virtualSize, rawSize, rawOffset;
};

class PeImage {
public:
    // Reads the headers of bytes, whose data must outlive the image: true
    // when they begin with "MZ" and hold, at the offset the DOS header
    // records, the PE signature, a whole COFF header and the magic of a PE32
    // or PE32+ optional header.
    bool ReadHeaders(const ByteView& bytes);

    // The COFF header's machine: 0x14C i386, 0x8664 x64, 0xAA64 ARM64.
    uint16_t Machine() const { return m_machine; }
    bool IsPe32Plus() const { return m_pe32Plus; }
    uint16_t SectionCount() const { return m_sectionCount; }

    // File offsets within the optional header: its checksum, where the
    // headers end by the size the COFF header records, and the entry of
    // data directory index. Each may lie outside the bytes.
    size_t ChecksumOffset() const { return m_optional + 64; }
    size_t OptionalHeaderEnd() const { return m_optional + m_optionalSize; }
    size_t DirectoryEntryOffset(size_t index) const { return m_directories + 8 * index; }
    // Whether the optional header declares directory index: its entry lies
    // within the headers and the bytes, and it counts more directories.
    bool DeclaresDirectory(size_t index) const;
    // Directory index's entry as the bytes hold it, declared or not: false
    // when it lies outside the bytes.
    bool Directory(size_t index, PeDirectory* directory) const;

    // The certificate table, checked against the bytes.
    PeCertificates Certificates() const;

    // Reads the section table behind the optional header: false when any of
    // the sections the COFF header counts lies outside the bytes.
    bool ReadSections();
    const std::vector<PeSection>& Sections() const { return m_sections; }
    // The file offset of a relative virtual address: found in the first
    // section whose raw data holds it, and within the bytes.
    bool FileOffset(uint32_t address, size_t* offset) const;

private:
    ByteView m_bytes{nullptr, 0};
    uint16_t m_machine = 0;
    uint16_t m_sectionCount = 0;
    bool m_pe32Plus = false;
    size_t m_optional = 0;
    size_t m_optionalSize = 0;
    size_t m_directories = 0;
    std::vector<PeSection> m_sections;
};
