// The Windows entry point: the GUI program's wWinMain, as the MinGW runtime
// calls it when linked with -municode. It lets a caller that does not wait
// for the notification's end go on apart from it, sets up COM for the picture
// loader and runs the notification on the Win32 backend; its parameters are
// not used, since the backend asks the system for the command line itself.
#include "platform/win32/Win32.h"  // before any other Windows header

#include <objbase.h>

#include <optional>

#include "app/App.h"
#include "platform/win32/Caller.h"
#include "platform/win32/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything else runs or starts: the link to a first process that
    // waits for this one's outcome.
    const bool startedApart = zb::win32::TakeCallerLink();
    // The picture loader (WIC) is a COM component; one thread, one apartment.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 0;
    {
        zb::win32::Win32Platform platform;
        std::optional<int> apart;
        if (!startedApart && !zb::CallerWaitsForRun(platform))
            apart = zb::win32::RunApart();
        if (apart) {
            status = *apart;
        } else {
            zb::App app(platform);
            status = app.Run();
            zb::win32::ReleaseCaller(status);
        }
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return status;
}
