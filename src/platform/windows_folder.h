// The Windows folder, read through the call table: where the store of kept
// copies and 95/98/Me's restart list WININIT.INI live.
#pragma once

#include <cstdint>
#include <string>

// The Windows folder; "" with error when it cannot be read whole
// (ERROR_INSUFFICIENT_BUFFER when it does not fit, which sets no error of its
// own).
std::string WindowsFolder(uint32_t* error);
