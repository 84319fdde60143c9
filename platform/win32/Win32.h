// The one place that includes <windows.h>: every file of the Windows backend
// includes this header instead, so that all of them see the same API level and
// the same trimmed set of declarations.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
// Windows Vista: the oldest system the manifest declares.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#ifndef WINVER
#define WINVER _WIN32_WINNT
#endif

#include <windows.h>

// The win.ini function's A/W switch would rename Platform::WriteProfileString
// in every file that sees both; this program never writes win.ini.
#undef WriteProfileString
