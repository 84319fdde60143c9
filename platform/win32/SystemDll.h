// Functions that only some Windows versions have, looked up at run time so
// that the program imports nothing beyond what every supported Windows ships
// and still starts where they are missing.
#pragma once

#include "platform/win32/Win32.h"

namespace zb::win32 {

// `function` of the DLL `dll` in the system folder (never one beside the
// program), or null where this Windows has neither. The DLL stays loaded.
FARPROC SystemDllFunction(const wchar_t* dll, const char* function);

// The same, as a pointer of the function's own type `F`.
template <typename F>
F SystemFunction(const wchar_t* dll, const char* function) {
    // Through void (*)(), the one function type any other converts from
    // without a warning.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(SystemDllFunction(dll, function)));
}

// Whether this process runs under Wine, whose window placement on an X
// window manager has faults of its own to work around.
bool RunsUnderWine();

}  // namespace zb::win32
