// A walker over DER, the encoding of X.509 certificates and of PKCS #7 and
// CMS signatures. The bytes may be anyone's: an element is taken only when
// its tag and length lie within its parent's contents, and its contents
// within them too, so that no walk reads outside the bytes. Only definite
// lengths, as DER has them, of up to four bytes. Free of Win32.
#pragma once

#include <cstddef>
#include <string>

const unsigned char kDerInteger = 0x02, kDerBits = 0x03, kDerOctets = 0x04, kDerNull = 0x05, kDerOid = 0x06,
                    kDerSequence = 0x30, kDerSet = 0x31, kDerImplicit0 = 0x80, kDerContext0 = 0xA0,
                    kDerContext1 = 0xA1;

// Where something lies in the bytes: [begin, end).
struct ByteRange {
    size_t begin;
    size_t end;  // one past the last byte
};

// The bytes range covers.
inline std::string BytesOf(const std::string& bytes, const ByteRange& range) {
    return bytes.substr(range.begin, range.end - range.begin);
}

// The contents of one element (or of a whole encoding), read from the front.
class DerReader {
public:
    DerReader() = default;
    // bytes[begin, end): end must not lie past bytes' end. bytes must
    // outlive the reader and every reader it hands out.
    DerReader(const std::string& bytes, size_t begin, size_t end) : m_bytes(&bytes), m_at(begin), m_end(end) {}

    bool Empty() const { return m_at >= m_end; }
    // The next element's tag; 0 when there is none.
    unsigned char Peek() const { return Empty() ? 0 : static_cast<unsigned char>((*m_bytes)[m_at]); }

    // Takes the next element when its tag is tag (Peek() for any): true
    // with its contents in body, and, given whole, the element itself, its
    // tag and length included. False, and nothing taken, for another tag or
    // a length that does not fit.
    bool Take(unsigned char tag, DerReader* body, ByteRange* whole = nullptr);
    // Takes the next byte, whatever it is: a BIT STRING's count of unused
    // bits. False when nothing is left.
    bool TakeByte(unsigned char* byte);
    // Takes the next element if it has tag; true when it had.
    bool Skip(unsigned char tag);
    // Takes the next element when it is the object identifier whose
    // contents are oid (a literal, without its terminator); else it may have
    // taken another.
    template <size_t N>
    bool TakeOid(const char (&oid)[N]) {
        DerReader body;
        return Take(kDerOid, &body) && body.Holds(oid);
    }

    // Whether what is left is exactly oid's contents (a literal, without
    // its terminator).
    template <size_t N>
    bool Holds(const char (&oid)[N]) const {
        return Holds(oid, N - 1);
    }
    // Whether what is left is exactly contents, or other's.
    bool Holds(const char* contents, size_t size) const;
    bool Holds(const DerReader& other) const;

    // A reader over range of the same bytes, which must lie within them.
    DerReader Part(const ByteRange& range) const { return DerReader(*m_bytes, range.begin, range.end); }

    // What is left of the contents, and where it lies in the bytes.
    std::string Text() const;
    const char* Data() const { return m_bytes->data() + m_at; }
    size_t Size() const { return m_end - m_at; }
    size_t Begin() const { return m_at; }
    size_t End() const { return m_end; }

private:
    const std::string* m_bytes = nullptr;
    size_t m_at = 0;
    size_t m_end = 0;
};
