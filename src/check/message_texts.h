// The installer's outcome messages, in UTF-8, for the package check to print
// on a machine without the installer's resources. A Windows test holds them
// to the string table.
#pragma once

#include <cstdint>

// The text of outcome message id, or "" for any other id.
const char* MessageText(uint32_t id);
