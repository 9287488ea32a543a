// The SHA-256 of a file's bytes, read a block at a time: a module is never
// held whole in memory. Through the OS call table on Windows, by the C
// library on the build machine (for qmxcheck).
#pragma once

#include <cstdint>
#include <string>

#include "engine/seal/sha256.h"

// The size of each read.
const uint32_t kHashBlockSize = 64 * 1024;

// 1 with the digest of the file at path; 0 with the failing call's error
// (a Windows error code, errno on the build machine) in error, digest
// untouched. Others may read the file meanwhile, nobody may write it.
int HashFile(const std::string& path, Sha256Digest* digest, uint32_t* error);

#ifdef _WIN32
// As HashFile, of the bytes from an open file's position to its end: a file
// this process has just written is read back without opening it again.
int HashOpenFile(void* file, Sha256Digest* digest, uint32_t* error);
#endif
