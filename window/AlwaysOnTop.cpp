#include "window/AlwaysOnTop.h"

namespace zb {

int SetTopMost(Platform& platform, WindowHandle window, bool onTop) {
    const int result = platform.SetTopMost(window, onTop);
    return onTop ? result : 0;
}

}  // namespace zb
