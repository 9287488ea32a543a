// The fixed header of a compiled dialog template, in either form (classic
// DLGTEMPLATE or extended DLGTEMPLATEEX). Free of Win32 so it builds
// everywhere; the bytes are those of an RT_DIALOG resource.
#pragma once

#include <cstddef>
#include <cstdint>

struct DialogTemplateHeader {
    bool extended;
    uint32_t style;
    uint32_t exStyle;
    uint16_t itemCount;
    int16_t x;
    int16_t y;
    int16_t cx;
    int16_t cy;
};

// true with *header filled when data holds at least a whole header of either
// form; false (header untouched) when data is null or too short.
bool ParseDialogTemplateHeader(const void* data, size_t size, DialogTemplateHeader* header);
