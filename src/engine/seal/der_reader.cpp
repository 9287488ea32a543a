#include "engine/seal/der_reader.h"

bool DerReader::Take(unsigned char tag, DerReader* body, ByteRange* whole) {
    if (m_end - m_at < 2 || Peek() != tag) return false;
    size_t length = static_cast<unsigned char>((*m_bytes)[m_at + 1]);
    size_t next = m_at + 2;
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        if (count == 0 || count > 4 || m_end - next < count) return false;
        length = 0;
        for (size_t i = 0; i < count; ++i) length = length << 8 | static_cast<unsigned char>((*m_bytes)[next + i]);
        next += count;
    }
    if (length > m_end - next) return false;
    *body = DerReader(*m_bytes, next, next + length);
    if (whole != nullptr) *whole = {m_at, next + length};
    m_at = next + length;
    return true;
}

bool DerReader::TakeByte(unsigned char* byte) {
    if (Empty()) return false;
    *byte = static_cast<unsigned char>((*m_bytes)[m_at++]);
    return true;
}

bool DerReader::Skip(unsigned char tag) {
    DerReader ignored;
    return !Empty() && Peek() == tag && Take(tag, &ignored);
}

bool DerReader::Holds(const char* contents, size_t size) const {
    return m_end - m_at == size && (size == 0 || m_bytes->compare(m_at, size, contents, size) == 0);
}

bool DerReader::Holds(const DerReader& other) const {
    return other.m_bytes != nullptr && Holds(other.m_bytes->data() + other.m_at, other.m_end - other.m_at);
}

std::string DerReader::Text() const { return m_bytes->substr(m_at, m_end - m_at); }
