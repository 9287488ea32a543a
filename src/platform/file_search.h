// Directory searches through the call table: what a search finds of one
// path, and the files of a folder.
#pragma once

#include <windows.h>

#include <string>

// A directory search for path: true with what it found (attributes, times)
// in data. It reads them on every Windows, 95 included, and opens nothing
// that another process could keep it from.
bool FindFile(const std::string& path, WIN32_FIND_DATAA* data);

// The names of the files (not the folders) in folder, each followed by a
// line end (no file name holds one), appended to names; false with error
// when the search fails for another reason than finding none.
bool ListFiles(const std::string& folder, std::string* names, DWORD* error);
