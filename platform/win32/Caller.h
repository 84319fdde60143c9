// The program that starts a notification may wait for the process it started
// (a batch file line without "start", a filter's "run and wait"). For a caller
// that does not wait for the notification's end, the program starts itself
// once more: the second process runs the notification, and the first waits
// only for its outcome (on the screen, already shown, or failed) and ends.
#pragma once

#include <optional>
#include <string>

namespace zb::win32 {

// The full path of this program's file; empty when the system cannot tell
// (GetLastError says why).
std::wstring ModuleFileName();

// Run first in wWinMain: in the second process, takes the link to the first
// from its environment entry and removes the entry, so that nothing this
// process starts sees it. Returns whether this is that second process.
bool TakeCallerLink();

// In the caller's process: starts this program once more with the same
// command line, current folder and environment (and the link), waits for the
// status the second process sends and returns it (its exit status when it
// ended without one). Nothing when it cannot be started: this process then
// runs the notification itself.
std::optional<int> RunApart();

// Sends `status` to the first process, once; nothing in a run that was not
// started apart.
void ReleaseCaller(int status);

}  // namespace zb::win32
