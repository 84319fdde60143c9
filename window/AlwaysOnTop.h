#pragma once

#include "platform/Platform.h"

namespace zb {

// Moves the window into the top-most band (onTop) or out of it, without
// moving or resizing it. Returns the window system's result when putting it
// on top, 0 otherwise.
int SetTopMost(Platform& platform, bool onTop);

}  // namespace zb
