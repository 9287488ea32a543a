// Stand-in for finding and loading the change list in the fuzz targets: the
// "file" every query loads is the byte range set here, so IsLogOn,
// CheckInstallVersion and FirstFileEntry run unchanged over fuzz input.
#pragma once

#include <cstddef>

// The bytes each later Load delivers. They are copied on every Load, so the
// range must stay valid until the last query of the input has returned.
void SetChangeListBytes(const char* data, size_t size);
