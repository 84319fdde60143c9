#include "window/Placement.h"

#include <algorithm>
#include <cstdint>

namespace zb {
namespace {

// The length that [start, start + length) and [areaStart, areaStart + areaLength)
// share; 0 when they are apart.
int Overlap(int start, int length, int areaStart, int areaLength) {
    const std::int64_t from = std::max<std::int64_t>(start, areaStart);
    const std::int64_t to =
        std::min<std::int64_t>(std::int64_t{start} + length, std::int64_t{areaStart} + areaLength);
    return to > from ? static_cast<int>(to - from) : 0;
}

// The gap between [start, start + length) and the area's span; 0 when they meet.
std::int64_t Gap(int start, int length, int areaStart, int areaLength) {
    const std::int64_t before = std::int64_t{areaStart} - (std::int64_t{start} + length);
    const std::int64_t after = std::int64_t{start} - (std::int64_t{areaStart} + areaLength);
    return std::max<std::int64_t>({before, after, 0});
}

bool UsablyOn(const PixelRect& window, const PixelRect& area) {
    const bool topEdgeInside =
        window.top >= area.top && std::int64_t{window.top} < std::int64_t{area.top} + area.height;
    return topEdgeInside &&
           Overlap(window.left, window.width, area.left, area.width) >=
               std::min(kUsablePixels, window.width) &&
           Overlap(window.top, window.height, area.top, area.height) >=
               std::min(kUsablePixels, window.height);
}

// Where [start, start + length) lies wholly inside the area's span, moved as
// little as possible; at the span's start when it is longer.
int Inside(int start, int length, int areaStart, int areaLength) {
    if (length >= areaLength)
        return areaStart;
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

// An empty window still has a point on the screen to be found at.
PixelRect AtLeastOnePixel(PixelRect window) {
    window.width = std::max(window.width, 1);
    window.height = std::max(window.height, 1);
    return window;
}

}  // namespace

PixelRect MoveOntoWorkArea(const PixelRect& outer, const std::vector<PixelRect>& workAreas) {
    const PixelRect window = AtLeastOnePixel(outer);

    const PixelRect* nearest = nullptr;
    std::int64_t nearestDistance = 0;
    std::int64_t nearestShared = 0;
    for (const PixelRect& area : workAreas) {
        if (area.width <= 0 || area.height <= 0)
            continue;
        const std::int64_t dx = Gap(window.left, window.width, area.left, area.width);
        const std::int64_t dy = Gap(window.top, window.height, area.top, area.height);
        const std::int64_t distance = dx * dx + dy * dy;
        // Of two areas at the same distance, the one holding more of the window.
        const std::int64_t shared =
            std::int64_t{Overlap(window.left, window.width, area.left, area.width)} *
            Overlap(window.top, window.height, area.top, area.height);
        if (!nearest || distance < nearestDistance ||
            (distance == nearestDistance && shared > nearestShared)) {
            nearest = &area;
            nearestDistance = distance;
            nearestShared = shared;
        }
    }
    if (!nearest)
        return outer;
    PixelRect placed = outer;
    placed.left = Inside(window.left, window.width, nearest->left, nearest->width);
    placed.top = Inside(window.top, window.height, nearest->top, nearest->height);
    return placed;
}

PixelRect PlaceOnWorkArea(const PixelRect& outer, const std::vector<PixelRect>& workAreas) {
    const PixelRect window = AtLeastOnePixel(outer);
    for (const PixelRect& area : workAreas) {
        if (area.width > 0 && area.height > 0 && UsablyOn(window, area))
            return outer;
    }
    return MoveOntoWorkArea(outer, workAreas);
}

}  // namespace zb
