#include "window/Placement.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

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

std::int64_t Right(const PixelRect& r) {
    return std::int64_t{r.left} + r.width;
}

std::int64_t Bottom(const PixelRect& r) {
    return std::int64_t{r.top} + r.height;
}

// Whether `a` and `b` come closer than `gap` to each other; with no gap,
// whether they overlap (frames that only meet at an edge do not).
bool Crowds(const PixelRect& a, const PixelRect& b, int gap) {
    return a.left < Right(b) + gap && b.left < Right(a) + gap && a.top < Bottom(b) + gap &&
           b.top < Bottom(a) + gap;
}

bool Holds(const PixelRect& area, const PixelRect& window) {
    return window.left >= area.left && window.top >= area.top && Right(window) <= Right(area) &&
           Bottom(window) <= Bottom(area);
}

// The first top, from `window`'s own downward, at which `window` keeps `gap`
// from every frame of `others` and ends by `bottom`; none when the column is
// full. Each step goes below a frame it crowded, so the search ends.
std::optional<int> FreeTopInColumn(PixelRect window,
                                   const std::vector<PixelRect>& others,
                                   int gap,
                                   std::int64_t bottom) {
    for (;;) {
        if (Bottom(window) > bottom)
            return std::nullopt;
        std::optional<std::int64_t> below;
        for (const PixelRect& other : others) {
            if (Crowds(window, other, gap))
                below = std::max(below.value_or(Bottom(other) + gap), Bottom(other) + gap);
        }
        if (!below)
            return window.top;
        if (*below > std::numeric_limits<int>::max())
            return std::nullopt;
        window.top = static_cast<int>(*below);
    }
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

PixelRect StackPlace(const PixelRect& configured,
                     const std::vector<PixelRect>& others,
                     const std::vector<PixelRect>& workAreas,
                     const StackSpacing& spacing) {
    const PixelRect window = AtLeastOnePixel(configured);
    if (std::none_of(others.begin(), others.end(),
                     [&](const PixelRect& other) { return Crowds(window, other, 0); }))
        return configured;

    const PixelRect start = MoveOntoWorkArea(window, workAreas);
    const auto area = std::find_if(workAreas.begin(), workAreas.end(), [&](const PixelRect& a) {
        return a.width > 0 && a.height > 0 && Holds(a, start);
    });
    const int gap = std::max(spacing.gap, 0);
    auto placed = [&](std::int64_t left, std::int64_t top) {
        PixelRect place = configured;
        place.left = static_cast<int>(left);
        place.top = static_cast<int>(top);
        return place;
    };

    // The column at the start, then those to its right, then those to its
    // left, as far as the work area reaches. Without work areas: the first
    // column, as far down as it takes; a window larger than its work area
    // has no column.
    if (workAreas.empty()) {
        if (const auto top =
                FreeTopInColumn(start, others, gap, std::numeric_limits<std::int64_t>::max()))
            return placed(start.left, *top);
    } else if (area != workAreas.end()) {
        const std::int64_t step = std::int64_t{start.width} + gap;
        for (int direction : {1, -1}) {
            for (std::int64_t column = direction == 1 ? 0 : -1;; column += direction) {
                const std::int64_t left = start.left + column * step;
                if (left < area->left || left + start.width > Right(*area))
                    break;
                PixelRect candidate = start;
                candidate.left = static_cast<int>(left);
                if (const auto top = FreeTopInColumn(candidate, others, gap, Bottom(*area)))
                    return placed(left, *top);
            }
        }
    }

    // Full: a cascade down and right along the diagonal from the start.
    const int cascade = std::max(spacing.cascade, 1);
    std::int64_t last = 0;
    for (const PixelRect& other : others) {
        const std::int64_t dx = std::int64_t{other.left} - start.left;
        if (dx > last && dx % cascade == 0 && std::int64_t{other.top} - start.top == dx)
            last = dx;
    }
    const std::int64_t offset = last + cascade;
    if (offset > std::numeric_limits<int>::max() - std::max(start.left, start.top))
        return start;
    return MoveOntoWorkArea(placed(start.left + offset, start.top + offset), workAreas);
}

}  // namespace zb
