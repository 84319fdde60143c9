// The process on POSIX: its arguments and folder, the programs it starts and
// its line on standard error.
#pragma once

#include <string>

namespace zb::posix {

// The arguments after the program's name, joined by single spaces.
std::string JoinArguments(int argc, char** argv);

// The directory of /proc/self/exe, without a trailing '/' except for "/".
std::string ExecutableDirectory();

// Starts `path` (used as given, never searched along PATH, no shell) with no
// arguments and the current environment; does not wait. Throws Failure when
// it cannot be started.
void SpawnProgram(const std::string& path);

// Reaps started programs as they end, so that none stays a zombie.
void InstallChildReaper();

// Writes `text` to standard error as one line: "zettelblick: " and the text,
// its line breaks turned into single blanks.
void PrintErrorLine(const std::string& text);

}  // namespace zb::posix
