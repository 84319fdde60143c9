// The process on POSIX: its arguments and folder, the programs it starts and
// its line on standard error.
#pragma once

#include <string>

namespace zb::posix {

// The arguments after the program's name, joined by single spaces.
std::string JoinArguments(int argc, char** argv);

// The directory of /proc/self/exe, without a trailing '/' except for "/".
std::string ExecutableDirectory();

// Keeps a copy of the environment as it is now: the programs SpawnProgram
// starts get it, whatever this process later changes in its own.
void KeepProgramEnvironment();

// Where there is no session bus (neither DBUS_SESSION_BUS_ADDRESS nor the
// socket $XDG_RUNTIME_DIR/bus), sets this process's environment so that its
// libraries start no session service: DBUS_SESSION_BUS_ADDRESS=disabled: (no
// bus is launched) and, unless PULSE_SERVER is set, PULSE_SERVER naming the
// user's and the system's sound-server sockets (a named server is never
// started on demand). Returns whether it did.
bool AvoidStartingSessionServices();

// Starts `path` (used as given, never searched along PATH, no shell) with no
// arguments and the environment kept by KeepProgramEnvironment (without it,
// the current one); does not wait. Throws Failure when
// it cannot be started.
void SpawnProgram(const std::string& path);

// Reaps started programs as they end, so that none stays a zombie.
void InstallChildReaper();

// Writes `text` to standard error as one line: "zettelblick: " and the text,
// its line breaks turned into single blanks.
void PrintErrorLine(const std::string& text);

}  // namespace zb::posix
