#include "window/AlwaysOnTop.h"

namespace zb {

int SetTopMost(Platform& platform, bool onTop) {
    const int result = platform.SetTopMost(onTop);
    return onTop ? result : 0;
}

}  // namespace zb
