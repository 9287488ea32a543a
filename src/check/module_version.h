// A module's version resource read from the module's bytes, the way the
// installer reads it through the platform's version API, so that a package
// can be checked on a build machine without Windows. Free of Win32.
#pragma once

#include <cstdint>
#include <string>

struct ModuleVersion {
    // The installer's version query would succeed, with text as its FileVersion
    // (the first translation's, at most 259 bytes, non-ASCII as '?').
    bool hasText = false;
    std::string text;
    // The fixed file version (FILEVERSION a,b,c,d) is present.
    bool hasNumbers = false;
    uint16_t numbers[4] = {};
};

// The fixed file version as "a.b.c.d"; meaningful only when hasNumbers.
std::string NumericVersionText(const ModuleVersion& version);

// Reads the RT_VERSION resource (id 1; language neutral, then English (US),
// then the first) of a 32- or 64-bit PE image. Every size and offset in bytes
// is checked before use: a damaged image gives a ModuleVersion without text,
// never a read outside bytes.
ModuleVersion ReadModuleVersion(const std::string& bytes);
