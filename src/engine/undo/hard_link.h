// A second name for a file that is about to be kept, made through the handle
// that has just read it where the system allows, so that the name is given
// to the very bytes that were read, and without opening the file once more
// (which is most of a link's cost under Wine: each open and close is a round
// trip to its server).
#pragma once

#include <windows.h>

#include <string>

// link, a new name for the file open as open (which may be null or
// INVALID_HANDLE_VALUE) and named existing. Through open where ntdll's
// NtSetInformationFile can make the link and link is a plain drive path (as
// Win32 reads it: no ".." or "/" or device name to turn it into something
// else); else, or when that fails, by CreateHardLinkA, which must be there.
// true, or false with CreateHardLinkA's error.
bool LinkFile(const std::string& link, const std::string& existing, HANDLE open);
