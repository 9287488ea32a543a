#include "engine/version/pe_image.h"

namespace {

const uint32_t kDosSignature = 0x5A4D;  // "MZ"
const uint32_t kPeSignature = 0x4550;   // "PE\0\0"
const uint32_t kPe32Magic = 0x10B;
const uint32_t kPe32PlusMagic = 0x20B;
const size_t kCoffHeaderSize = 20;
const size_t kSectionHeaderSize = 40;

}  // namespace

bool ByteView::Read(size_t offset, int width, uint32_t* value) const {
    if (!Has(offset, static_cast<size_t>(width))) return false;
    uint32_t result = 0;
    for (int i = width - 1; i >= 0; --i) {
        result = result << 8 | static_cast<unsigned char>(m_data[offset + static_cast<size_t>(i)]);
    }
    *value = result;
    return true;
}

uint32_t ByteView::Word(size_t offset) const {
    uint32_t value = 0;
    return Read(offset, 2, &value) ? value : 0;
}

uint32_t ByteView::Dword(size_t offset) const {
    uint32_t value = 0;
    return Read(offset, 4, &value) ? value : 0;
}

bool PeImage::ReadHeaders(const ByteView& bytes) {
    m_bytes = bytes;
    uint32_t mz = 0, pe = 0, signature = 0;
    if (!bytes.Read(0, 2, &mz) || mz != kDosSignature) return false;
    // The signature's read keeps pe within the bytes, so that the offsets
    // below it cannot wrap.
    if (!bytes.Read(0x3C, 4, &pe) || !bytes.Read(pe, 4, &signature) || signature != kPeSignature) return false;
    const size_t coff = static_cast<size_t>(pe) + 4;
    uint32_t machine = 0, sections = 0, optionalSize = 0, magic = 0;
    if (!bytes.Read(coff, 2, &machine) || !bytes.Read(coff + 2, 2, &sections) ||
        !bytes.Read(coff + 16, 2, &optionalSize)) {
        return false;
    }
    m_optional = coff + kCoffHeaderSize;
    if (!bytes.Read(m_optional, 2, &magic) || (magic != kPe32Magic && magic != kPe32PlusMagic)) return false;
    m_machine = static_cast<uint16_t>(machine);
    m_sectionCount = static_cast<uint16_t>(sections);
    m_optionalSize = optionalSize;
    m_pe32Plus = magic == kPe32PlusMagic;
    m_directories = m_optional + (m_pe32Plus ? 112 : 96);
    return true;
}

bool PeImage::DeclaresDirectory(size_t index) const {
    const size_t end = DirectoryEntryOffset(index) + 8;
    // NumberOfRvaAndSizes, the optional header's last field before the
    // directories: within the bytes once the entry is.
    return end <= OptionalHeaderEnd() && end <= m_bytes.Size() && m_bytes.Dword(m_directories - 4) > index;
}

bool PeImage::Directory(size_t index, PeDirectory* directory) const {
    const size_t entry = DirectoryEntryOffset(index);
    return m_bytes.Read(entry, 4, &directory->address) && m_bytes.Read(entry + 4, 4, &directory->size);
}

PeCertificates PeImage::Certificates() const {
    PeCertificates found;
    // No room for the entry, or fewer directories than it.
    if (!DeclaresDirectory(kPeCertificateDirectory) || !Directory(kPeCertificateDirectory, &found.table)) {
        return found;
    }
    const size_t size = m_bytes.Size(), entry = DirectoryEntryOffset(kPeCertificateDirectory);
    const size_t table = found.table.address, tableSize = found.table.size;
    if (table == 0 && tableSize == 0) return found;
    found.kind = PeCertificates::kOutside;
    if (table < entry + 8 || table > size || tableSize > size - table) return found;
    // The first WIN_CERTIFICATE: its length, revision 2.0, PKCS #7 type.
    const size_t length = m_bytes.Dword(table);
    found.kind = PeCertificates::kCutShort;
    if (tableSize < 8 || length < 8 || length > tableSize) return found;
    found.kind = PeCertificates::kNotAuthenticode;
    if (m_bytes.Word(table + 4) != 0x0200 || m_bytes.Word(table + 6) != 0x0002) return found;
    found.kind = PeCertificates::kPresent;
    found.pkcs7Begin = table + 8;
    found.pkcs7End = table + length;
    return found;
}

bool PeImage::ReadSections() {
    m_sections.clear();
    const size_t table = OptionalHeaderEnd();
    for (size_t i = 0; i < m_sectionCount; ++i) {
        PeSection s = {};
        const size_t at = table + i * kSectionHeaderSize;
        if (!m_bytes.Read(at + 8, 4, &s.virtualSize) || !m_bytes.Read(at + 12, 4, &s.address) ||
            !m_bytes.Read(at + 16, 4, &s.rawSize) || !m_bytes.Read(at + 20, 4, &s.rawOffset)) {
            return false;
        }
        m_sections.push_back(s);
    }
    return true;
}

bool PeImage::FileOffset(uint32_t address, size_t* offset) const {
    for (const PeSection& s : m_sections) {
        if (address >= s.address && address - s.address < s.rawSize) {
            *offset = static_cast<size_t>(s.rawOffset) + (address - s.address);
            return m_bytes.Has(*offset, 0);
        }
    }
    return false;
}
