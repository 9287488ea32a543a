// Where a modal dialog goes when its own initialisation did not place it.
// Free of Win32 so it builds everywhere.
#pragma once

struct PlacementRect {
    int left;
    int top;
    int right;
    int bottom;
};

struct PlacementPoint {
    int x;
    int y;
};

// The top-left corner that centres a window of window's size over area, then
// moved as little as needed to keep it inside workArea (its top-left corner
// wins when the window is larger than the work area).
PlacementPoint CentredOrigin(const PlacementRect& window, const PlacementRect& area,
                             const PlacementRect& workArea);
