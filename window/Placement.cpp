#include "window/Placement.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>

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

// A span on one axis: where a window's edge may lie.
struct Span {
    std::int64_t from;
    std::int64_t to;  // the last position, inclusive
};

// The stretch a window of `length` may start at on an area's axis.
std::optional<Span> Positions(std::int64_t areaStart, std::int64_t areaLength, int length) {
    if (length > areaLength)
        return std::nullopt;
    return Span{areaStart, areaStart + areaLength - length};
}

// The positions on one axis worth trying: the target (moved into the span),
// the span's ends, and every position at which the window's near or far edge
// meets an obstacle's edge, `gap` off it. The nearest free place and the
// least covering one both lie on such positions.
std::vector<std::int64_t> Candidates(
    std::int64_t target,
    const Span& span,
    const std::vector<std::pair<std::int64_t, std::int64_t>>& obstacles,
    int length,
    int gap) {
    std::vector<std::int64_t> found{std::clamp(target, span.from, span.to), span.from, span.to};
    for (const auto& [start, end] : obstacles) {
        for (std::int64_t at : {start - gap - length, end + gap, start, end - length}) {
            if (at >= span.from && at <= span.to)
                found.push_back(at);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// How good a place is: less is better. `cost` first (the header area it
// covers), then the squared distance from the target, then below before
// above and right before left.
struct Rank {
    std::int64_t cost;
    std::int64_t distance;
    bool above;
    bool leftward;
    std::int64_t top;
    std::int64_t left;
    bool operator<(const Rank& other) const {
        return std::tie(cost, distance, above, leftward, top, left) <
               std::tie(other.cost, other.distance, other.above, other.leftward, other.top,
                        other.left);
    }
};

// The phases of the search: a free place; one that covers no header band; the
// one covering the least of them.
enum class Room { Free, OverBodies, Least };

// The best place for a window of `target`'s size near `target` on `areas` among
// `obstacles` as `room` asks; none when no place qualifies.
std::optional<PixelPoint> BestPlace(const PixelRect& target,
                                    const std::vector<PixelRect>& obstacles,
                                    const std::vector<PixelRect>& areas,
                                    int gap,
                                    Room room) {
    std::vector<std::pair<std::int64_t, std::int64_t>> across, down;
    for (const PixelRect& o : obstacles) {
        across.emplace_back(o.left, Right(o));
        down.emplace_back(o.top, Bottom(o));
    }
    const int spacing = room == Room::Free ? gap : 0;
    std::optional<Rank> best;
    std::optional<PixelPoint> place;
    for (const PixelRect& area : areas) {
        const auto xs = Positions(area.left, area.width, target.width);
        const auto ys = Positions(area.top, area.height, target.height);
        if (!xs || !ys)
            continue;
        const auto lefts = Candidates(target.left, *xs, across, target.width, spacing);
        const auto tops = Candidates(target.top, *ys, down, target.height, spacing);
        for (std::int64_t top : tops) {
            for (std::int64_t left : lefts) {
                const std::int64_t dx = left - target.left;
                const std::int64_t dy = top - target.top;
                Rank rank{0, dx * dx + dy * dy, dy < 0, dx < 0, top, left};
                if (best && room != Room::Least && !(rank < *best))
                    continue;
                const PixelRect window{static_cast<int>(left), static_cast<int>(top), target.width,
                                       target.height};
                bool blocked = false;
                for (const PixelRect& o : obstacles) {
                    if (!Crowds(window, o, spacing))
                        continue;
                    if (room != Room::Least) {
                        blocked = true;
                        break;
                    }
                    rank.cost += std::int64_t{Overlap(window.left, window.width, o.left, o.width)} *
                                 Overlap(window.top, window.height, o.top, o.height);
                }
                if (blocked || (best && !(rank < *best)))
                    continue;
                best = rank;
                place = PixelPoint{window.left, window.top};
            }
        }
    }
    return place;
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

bool Covers(const PixelRect& frame, const std::vector<NotificationPlace>& others) {
    return std::any_of(others.begin(), others.end(), [&](const NotificationPlace& other) {
        return Crowds(AtLeastOnePixel(frame), AtLeastOnePixel(other.frame), 0);
    });
}

PixelRect StackPlace(const PixelRect& configured,
                     const std::vector<NotificationPlace>& others,
                     const std::vector<PixelRect>& workAreas,
                     int gap) {
    const PixelRect window = AtLeastOnePixel(configured);
    std::vector<PixelRect> frames, headers;
    for (const NotificationPlace& other : others) {
        const PixelRect frame = AtLeastOnePixel(other.frame);
        frames.push_back(frame);
        headers.push_back(
            {frame.left, frame.top, frame.width, std::clamp(other.header, 1, frame.height)});
    }
    if (std::none_of(frames.begin(), frames.end(),
                     [&](const PixelRect& frame) { return Crowds(window, frame, 0); }))
        return configured;

    const PixelRect start = MoveOntoWorkArea(window, workAreas);
    std::vector<PixelRect> areas;
    for (const PixelRect& area : workAreas) {
        if (area.width > 0 && area.height > 0)
            areas.push_back(area);
    }
    // Without work areas: anywhere a window's coordinates can go.
    constexpr int kFar = 1 << 29;
    if (workAreas.empty())
        areas.push_back({-kFar, -kFar, 2 * kFar, 2 * kFar});

    std::optional<PixelPoint> place = BestPlace(start, frames, areas, std::max(gap, 0), Room::Free);
    if (!place)
        place = BestPlace(start, headers, areas, 0, Room::OverBodies);
    if (!place)
        place = BestPlace(start, headers, areas, 0, Room::Least);
    PixelRect placed = configured;
    placed.left = place ? place->x : start.left;
    placed.top = place ? place->y : start.top;
    return placed;
}

}  // namespace zb
