// The Windows entry point, declared without any Windows header so that
// app/main_win32.cpp stays free of them.
#pragma once

namespace zb {

// Sets up COM for the picture loader, runs the notification on the Win32
// backend and returns the process's exit status.
int RunWin32App();

}  // namespace zb
