#include "ui/centring.h"

#include <gtest/gtest.h>

TEST(IconCentreOffset, CentresAndTruncatesTowardZero) {
    EXPECT_EQ(4, IconCentreOffset(0, 40, 32));    // (40 - 32 + 1) / 2
    EXPECT_EQ(-5, IconCentreOffset(0, 20, 32));   // -11 / 2 is -5, not -6
    EXPECT_EQ(4, IconCentreOffset(10, 50, 32));   // only the extent counts
    EXPECT_EQ(0, IconCentreOffset(0, 32, 32));
}

TEST(ScreenCentreOrigin, CentresTheWindowOnTheScreen) {
    EXPECT_EQ(387, ScreenCentreOrigin(1024, 0, 250));
    EXPECT_EQ(387, ScreenCentreOrigin(1024, 600, 850));  // wherever it starts
    EXPECT_EQ(319, ScreenCentreOrigin(768, 0, 129));
}

TEST(ScreenCentreOrigin, TruncatesTowardZeroForWindowsWiderThanTheScreen) {
    EXPECT_EQ(-38, ScreenCentreOrigin(1024, 0, 1101));  // -77 / 2 is -38, not -39
}

TEST(ScreenCentreOrigin, WorksInSigned16BitValues) {
    // 70000 wraps to 4464 before the centring: (4464 - 64) / 2.
    EXPECT_EQ(2200, ScreenCentreOrigin(70000, 0, 64));
    // (1024 - 70000) / 2 = -34488, which wraps to 31048.
    EXPECT_EQ(31048, ScreenCentreOrigin(1024, -70000, 0));
}
