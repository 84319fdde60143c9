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

// How notifications on the screen at the same time keep apart: the room left
// between two frames, and how far a cascade steps down and right (a caption's
// height), both in pixels.
struct StackSpacing {
    int gap = 0;
    int cascade = 0;
};

// Where a notification whose outer frame is `configured` (as the on-screen
// rule placed it) goes while the notifications with the outer frames
// `others` are on the screen. Covering none of them, it stays. Otherwise it
// takes the first free place in a column that starts at the configured place
// (moved wholly onto its work area) and runs downward, the frames `gap` apart;
// then in the columns to its right, then in those to its left, as long as
// they fit on that work area. Where none is free, it cascades: `cascade`
// down and right of the last of the others standing on the diagonal from the
// configured place (of the configured place itself when none does). Every
// place lies wholly on one work area, as far as the window fits on one.
PixelRect StackPlace(const PixelRect& configured,
                     const std::vector<PixelRect>& others,
                     const std::vector<PixelRect>& workAreas,
                     const StackSpacing& spacing);

}  // namespace zb
