#include "platform/win32/Dpi.h"

#include "platform/win32/SystemDll.h"

namespace zb::win32 {
namespace {

// MONITOR_DPI_TYPE's MDT_EFFECTIVE_DPI: the resolution windows are laid out at.
constexpr int kEffectiveDpi = 0;

using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);

}  // namespace

UINT MonitorDpi(const RECT& rect) {
    static const auto getDpiForMonitor =
        SystemFunction<GetDpiForMonitorFunction>(L"shcore.dll", "GetDpiForMonitor");
    if (!getDpiForMonitor)
        return 0;
    UINT dpiX = 0;
    UINT dpiY = 0;
    HMONITOR monitor = ::MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST);
    if (FAILED(getDpiForMonitor(monitor, kEffectiveDpi, &dpiX, &dpiY)))
        return 0;
    return dpiY;
}

void EnableNonClientScaling(HWND hwnd) {
    static const auto enable = SystemFunction<EnableNonClientDpiScalingFunction>(
        L"user32.dll", "EnableNonClientDpiScaling");
    if (enable)
        enable(hwnd);
}

}  // namespace zb::win32
