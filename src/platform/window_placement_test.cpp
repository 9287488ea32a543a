#include "platform/window_placement.h"

#include <gtest/gtest.h>

namespace {
const PlacementRect kWork = {0, 0, 1024, 738};
}

TEST(WindowPlacement, CentresOverTheArea) {
    const PlacementPoint p = CentredOrigin({0, 0, 386, 114}, kWork, kWork);
    EXPECT_EQ(319, p.x);
    EXPECT_EQ(312, p.y);
}

TEST(WindowPlacement, CentresOverAnOwnerAwayFromTheOrigin) {
    const PlacementPoint p = CentredOrigin({0, 0, 100, 50}, {200, 100, 600, 400}, kWork);
    EXPECT_EQ(350, p.x);
    EXPECT_EQ(225, p.y);
}

TEST(WindowPlacement, StaysInsideTheWorkArea) {
    // An owner near the bottom-right corner would push the window out.
    PlacementPoint p = CentredOrigin({0, 0, 300, 200}, {900, 650, 1100, 800}, kWork);
    EXPECT_EQ(1024 - 300, p.x);
    EXPECT_EQ(738 - 200, p.y);
    // One near the top-left corner likewise.
    p = CentredOrigin({0, 0, 300, 200}, {-100, -50, 50, 50}, kWork);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
}

TEST(WindowPlacement, ShowsTheTopLeftOfAWindowLargerThanTheWorkArea) {
    const PlacementPoint p = CentredOrigin({0, 0, 2000, 1000}, kWork, kWork);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
}
