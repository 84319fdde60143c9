#include "platform/win32/Win32Main.h"

#include "platform/win32/Win32.h"  // before any other Windows header

#include <objbase.h>

#include "app/App.h"
#include "platform/win32/Win32Platform.h"

namespace zb {

int RunWin32App() {
    // The picture loader (WIC) is a COM component; one thread, one apartment.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 0;
    {
        win32::Win32Platform platform;
        App app(platform);
        status = app.Run();
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return status;
}

}  // namespace zb
