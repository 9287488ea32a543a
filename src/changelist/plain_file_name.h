// Which [File] entries may be appended to the system folder. Free of Win32.
#pragma once

#include <string>

// Whether name, appended to a folder after one backslash, names a file
// directly inside that folder: not empty; no "\", "/" or ":" (a folder, a
// drive, a stream); no wildcard or other character Windows refuses in a name,
// control characters included; not made only of dots and spaces, which the
// system reads as the folder itself or its parent; and not a device name
// such as CON or LPT1, with or without an extension, which opens the device
// wherever the folder is. A double-byte character of the ANSI code page in
// force is one character, whose trail byte may be 0x5C without being a
// backslash.
bool IsPlainFileName(const std::string& name);
