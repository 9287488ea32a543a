#include "platform/window_placement.h"

namespace {

int CentreOnAxis(int size, int areaLow, int areaHigh, int workLow, int workHigh) {
    int origin = areaLow + (areaHigh - areaLow - size) / 2;
    if (origin + size > workHigh) origin = workHigh - size;
    if (origin < workLow) origin = workLow;
    return origin;
}

}  // namespace

PlacementPoint CentredOrigin(const PlacementRect& window, const PlacementRect& area,
                             const PlacementRect& workArea) {
    return {CentreOnAxis(window.right - window.left, area.left, area.right, workArea.left,
                         workArea.right),
            CentreOnAxis(window.bottom - window.top, area.top, area.bottom, workArea.top,
                         workArea.bottom)};
}
