#include "check/json_text.h"

#include <cstdio>

namespace {

void AppendEscapedByte(unsigned char byte, std::string* out) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
    *out += escaped;
}

}  // namespace

std::string JsonString(const std::string& text, const TextEncoding& encoding) {
    std::string out = "\"";
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t at = 0; at < text.size();) {
        const unsigned char byte = bytes[at];
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
            ++at;
        } else if (byte < 0x20 || byte == 0x7F) {
            AppendEscapedByte(byte, &out);
            ++at;
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++at;
        } else {
            // A double-byte character's second byte may be a backslash or a
            // quote: it belongs to the character, never to JSON.
            const size_t length = encoding.CharLength(bytes + at, text.size() - at);
            if (length > 0 && encoding.AppendUtf8(text.data() + at, length, &out)) {
                at += length;
            } else {
                AppendEscapedByte(byte, &out);
                ++at;
            }
        }
    }
    return out + "\"";
}
