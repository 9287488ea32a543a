// The floor of the per-file benchmark: the least work any installer must do
// for the same package, made with plain Win32 calls (through the OS call
// table, as the installer's are, so that a call profile counts both alike;
// its entries are the real functions otherwise). It reads the change list
// once, and for each [File] name tests that the installed copy exists, reads
// the FileVersion of both copies, opens both for their last-write times, and
// copies the shipped file over the installed one when its version is higher.
// No log, no lock probe, no second reading of the list.
//
// The durable floor replaces a module the least way that never writes into
// it and keeps what it replaces, as the installer does: a temporary file
// beside it, the copy, the module's DACL, a flush, a hard link to the module
// in storeDir, and one MoveFileExA over it.
#pragma once

#include <string>

enum class FloorCopy { kInPlace, kDurable };

// Number of files copied, or -1 when the change list cannot be read.
long FloorInstall(const std::string& changeListPath, const std::string& programDir,
                  const std::string& systemDir, FloorCopy copy, const std::string& storeDir = std::string());
