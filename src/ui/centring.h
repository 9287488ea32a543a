// The arithmetic that places the minimised installer dialog's icon and the
// message dialog. Both work in signed 32-bit integers, and division truncates
// toward zero (so -11 / 2 is -5, not -6). Free of Win32.
#pragma once

#include <cstdint>

// Offset of an icon of iconSize inside the client extent from low to high
// (left and right, or top and bottom): (high - low - iconSize + 1) / 2.
// A 40-pixel client and a 32-pixel icon give 4; a 20-pixel client gives -5.
int IconCentreOffset(int low, int high, int iconSize);

// Screen coordinate that centres the window extent from low to high on a
// screen of screenExtent pixels: the screen extent is taken as a signed
// 16-bit number, (screen - high + low) / 2 is computed, and the result is
// cut to a signed 16-bit number. A 250-pixel window on a 1024-pixel screen
// gives 387; a 1101-pixel window gives -38.
int16_t ScreenCentreOrigin(int screenExtent, int low, int high);
