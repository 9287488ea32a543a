// A generated package for the per-file benchmark: N modules with real
// version resources in a program folder, the installed copies in a private
// system folder, and the change list that names them.
//
// Module i is, by i % 4: 0 and 1, newer than its installed copy; 2, older
// than its installed copy; 3, not installed. So half the files are copied,
// a quarter are compared and kept, a quarter are skipped at the existence
// test.
#pragma once

#include <string>
#include <vector>

struct BenchPackage {
    std::string root;        // scratch folder holding everything below
    std::string programDir;  // the shipped modules
    std::string systemDir;   // the installed copies
    std::string storeDir;    // the copies a run keeps of what it replaces
    std::string changeListPath;
    std::string installedOld;  // master of the older installed copy
    std::vector<std::string> names;  // upper case, as the reader returns them
};

// The modules whose copies make the package: newer carries a higher
// FileVersion than older.
struct BenchFixtures {
    std::string newer;
    std::string older;
};

// Category of module i, as above.
inline bool IsNewerThanInstalled(size_t i) { return i % 4 < 2; }
inline bool IsOlderThanInstalled(size_t i) { return i % 4 == 2; }
inline bool IsInstalled(size_t i) { return i % 4 != 3; }

// Creates the folders and count modules under a fresh scratch folder in the
// temp directory; changeListPath is where the list will be written. False
// with a message on standard error when a file cannot be made.
bool CreateBenchPackage(const BenchFixtures& fixtures, size_t count,
                        const std::string& changeListPath, BenchPackage* package);

// Writes the change list: [Install] for platform 2, version 6.1, [File] with
// every name, and [Log] ON or OFF.
bool WriteBenchChangeList(const BenchPackage& package, bool logOn);

// Writes text as the whole of the file at path, created or emptied first;
// false with the system's error left for GetLastError.
bool WriteWholeFile(const std::string& path, const std::string& text);

// Puts back the installed copies that a run replaced (the newer half), with
// their original last-write time, and empties the store.
bool ResetSystemDir(const BenchPackage& package);

// Removes the scratch folder and everything in it.
void RemoveBenchPackage(const BenchPackage& package);
