// DER written by hand, for readers' tests: any shape, well formed or not.
#pragma once

#include <string>

// One element: tag, length (the two-byte long form past 127 bytes, which
// DER readers accept though DER writes one byte up to 255), body.
inline std::string Der(unsigned char tag, const std::string& body) {
    std::string out(1, static_cast<char>(tag));
    if (body.size() >= 0x80) out += "\x82" + std::string(1, static_cast<char>(body.size() >> 8));
    return out + static_cast<char>(body.size() & 0xFF) + body;
}
