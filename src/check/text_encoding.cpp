#include "check/text_encoding.h"

#include "platform/ansi_text.h"

namespace {

size_t Utf8CharLength(const unsigned char* text, size_t left) {
    const unsigned char lead = text[0];
    size_t length = 1;
    if (lead >= 0xC0 && lead < 0xE0) {
        length = 2;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
    } else if (lead >= 0xF0 && lead < 0xF8) {
        length = 4;
    }
    return length <= left ? length : left;
}

bool AppendUtf8AsUtf8(const char* text, size_t length, std::string* out) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        if (length != 1) return false;
        *out += text[0];
        return true;
    }
    size_t expected = 0;
    unsigned long c = 0;
    if (lead >= 0xC2 && lead < 0xE0) {
        expected = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        expected = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        expected = 4;
        c = lead & 0x07;
    }
    if (expected == 0 || length != expected) return false;
    for (size_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) return false;
        c = c << 6 | (bytes[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) return false;
    out->append(text, length);
    return true;
}

const TextEncoding kUtf8 = {Utf8CharLength, AppendUtf8AsUtf8};

}  // namespace

const TextEncoding& Utf8Encoding() { return kUtf8; }

size_t AnsiCharLength(const unsigned char* text, size_t left) {
    return CharacterLength(reinterpret_cast<const char*>(text), left);
}

bool PackageTextToUtf8(const std::string& text, std::string* utf8) {
    const TextEncoding& encoding = PackageEncoding();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    utf8->clear();
    for (size_t at = 0; at < text.size();) {
        const size_t length = encoding.CharLength(bytes + at, text.size() - at);
        if (!encoding.AppendUtf8(text.data() + at, length, utf8)) return false;
        at += length;
    }
    return true;
}

void AppendCodePoint(unsigned long c, std::string* out) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | c >> 6);
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | c >> 12);
        *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | c >> 18);
        *out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
