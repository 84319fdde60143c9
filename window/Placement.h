// Keeps the notification on a screen: a place that would leave it out of
// sight (a position saved on a monitor that is gone, a mistyped setting) is
// replaced by the nearest place where all of it can be seen.
#pragma once

#include <vector>

#include "platform/Platform.h"

namespace zb {

// How much of the window must lie on one work area, from each side at most:
// a piece of its caption that the user can grab, or a corner of a frameless
// window that the user can click.
inline constexpr int kUsablePixels = 32;

// `outer` (the window's outer frame, in pixels) as it is when one work area
// holds at least min(32, width) by min(32, height) pixels of it, a piece of
// its top edge among them. Otherwise it is moved onto the work area nearest
// to it so that it is wholly visible; a window larger than that area gets the
// area's top-left corner. Without work areas it stays as it is.
PixelRect PlaceOnWorkArea(const PixelRect& outer, const std::vector<PixelRect>& workAreas);

// `outer` moved the shortest way onto the work area nearest to it so that it
// is wholly visible (at the area's top-left corner where it is larger); as it
// is without work areas.
PixelRect MoveOntoWorkArea(const PixelRect& outer, const std::vector<PixelRect>& workAreas);

// Where a notification whose outer frame is `configured` (as the on-screen
// rule placed it) goes while the notifications at `others` are on the screen
// or about to be. Covering none of them, it stays. Otherwise it takes, of the
// places that lie wholly on a work area, the one nearest to its configured
// place (moved wholly onto its work area) in any direction, the first of:
// 1. a free place, `gap` from every other frame;
// 2. a place over the others that covers none of their header bands (each
//    other's caption and message's first line), so that, shown on top, it
//    cascades over them and leaves every header in sight;
// 3. the place that covers the least of their header bands.
// At equal distances, below goes before above, right before left. Without
// work areas the place may lie anywhere; a window larger than every work
// area stays at its start.
PixelRect StackPlace(const PixelRect& configured,
                     const std::vector<NotificationPlace>& others,
                     const std::vector<PixelRect>& workAreas,
                     int gap);

// Whether `frame` overlaps any of the frames of `others`.
bool Covers(const PixelRect& frame, const std::vector<NotificationPlace>& others);

}  // namespace zb
