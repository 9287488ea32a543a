// A file of this machine read whole into memory, for the check's readers of
// programs, modules and seals. Free of Win32.
#pragma once

#include <cstddef>
#include <string>

// Appends the bytes of the file at path to bytes: true when it opened and
// read to its end, and held no more than limit bytes; false when it did not
// open, a read failed or it held more (what was read stays in bytes).
bool ReadWholeFile(const std::string& path, std::string* bytes, size_t limit = static_cast<size_t>(-1));

// Writes bytes as the whole of the file at path, made or replaced: true when
// every byte was written and the file closed.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
