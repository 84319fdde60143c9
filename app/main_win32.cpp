// The Windows entry point: the GUI program's wWinMain, as the MinGW runtime
// calls it when linked with -municode. Its parameters are declared by hand so
// that this file needs no Windows header; none of them is used, since the
// backend asks the system for the command line itself.
#include "platform/win32/Win32Main.h"

struct HINSTANCE__;

extern "C" int __stdcall wWinMain(HINSTANCE__*, HINSTANCE__*, wchar_t*, int) {
    return zb::RunWin32App();
}
