#include "ui/centring.h"

#include <gtest/gtest.h>

// What a person sees: the icon sits in the middle of the minimised window,
// and the message in the middle of the screen, also for extents the
// arithmetic handles awkwardly (odd sizes, windows larger than the screen,
// screens beyond what 16 bits hold).
TEST(Centring, PlacesTheExtentWithEqualMarginsOnBothSides) {
    const struct {
        int screen, low, high;
    } windows[] = {{1024, 0, 250}, {1024, 600, 850}, {768, 0, 129}, {1024, 0, 1101}};
    for (const auto& w : windows) {
        const int width = w.high - w.low;
        const int origin = ScreenCentreOrigin(w.screen, w.low, w.high);
        const int left = origin, right = w.screen - (origin + width);
        EXPECT_LE(left - right, 1) << w.screen << " " << width;
        EXPECT_GE(left - right, -1) << w.screen << " " << width;
    }
    for (int client : {32, 33, 40, 41, 75}) {
        const int offset = IconCentreOffset(10, 10 + client, 32);
        const int before = offset, after = client - (offset + 32);
        EXPECT_LE(before - after, 1) << client;
        EXPECT_GE(before - after, -1) << client;
    }
}

// A screen extent beyond 16 bits is seen as the 16-bit number it wraps to:
// 70000 pixels as 4464.
TEST(Centring, SeesAScreenBeyondSixteenBitsAsItsWrappedWidth) {
    EXPECT_EQ(ScreenCentreOrigin(4464, 0, 64), ScreenCentreOrigin(70000, 0, 64));
}
