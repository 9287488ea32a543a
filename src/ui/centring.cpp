#include "ui/centring.h"

int IconCentreOffset(int low, int high, int iconSize) { return (high - low - iconSize + 1) / 2; }

int16_t ScreenCentreOrigin(int screenExtent, int low, int high) {
    const int screen = static_cast<int16_t>(screenExtent);
    return static_cast<int16_t>((screen - high + low) / 2);
}
