// The program that starts a notification (a mail client, a filter, a shell
// script) most often waits for the process it started. Split from it, the
// notification runs on in a process of its own, and the caller waits only for
// the outcome: on the screen, already shown, or failed.
#pragma once

namespace zb::posix {

// Splits the run before anything else has happened (no toolkit, no lock):
// a child starts a session of its own and forks the notification's process,
// so that this is neither the caller's child nor ever its zombie. Returns in
// the notification's process. The caller's process stays in here: it passes
// SIGTERM, SIGHUP and SIGINT on to the notification's process, waits for the
// status ReleaseCaller sends and ends with it (1 when the notification's
// process ended without one). Where the split cannot be made, returns in the
// one process, which then runs as one the caller waits for.
void SplitFromCaller();

// Sends `status` to the caller's process, once, and turns standard input,
// output and error to /dev/null: a caller that reads them to their end (a
// command substitution, a mail client's filter) is not held by them. Nothing
// when the run was not split.
void ReleaseCaller(int status);

}  // namespace zb::posix
