// The Windows entry point: the GUI program's wWinMain, as the MinGW runtime
// calls it when linked with -municode. It sets up COM for the picture loader
// and runs the notification on the Win32 backend; its parameters are not
// used, since the backend asks the system for the command line itself.
#include "platform/win32/Win32.h"  // before any other Windows header

#include <objbase.h>

#include "app/App.h"
#include "platform/win32/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The picture loader (WIC) is a COM component; one thread, one apartment.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 0;
    {
        zb::win32::Win32Platform platform;
        zb::App app(platform);
        status = app.Run();
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return status;
}
