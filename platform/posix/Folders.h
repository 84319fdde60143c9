// The folders of a run on Linux. A portable folder (one the user can write)
// keeps everything beside the program, as on Windows. An installed program
// keeps each user's settings and locks in that user's own folders and finds
// its picture and sound in the installed data folder.
#pragma once

#include <functional>
#include <string>

#include "platform/Platform.h"

namespace zb::posix {

// An environment variable's value; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The data folder of a program in PREFIX/bin: PREFIX/share/zettelblick.
std::string InstalledDataFolder(const std::string& exeDir);

// The folders for the program in `exeDir`. It counts as installed when the
// user cannot write `exeDir`, or when its InstalledDataFolder exists. Then:
// settings in $XDG_CONFIG_HOME/zettelblick (default ~/.config/zettelblick);
// locks in $XDG_RUNTIME_DIR/zettelblick, made here (mode 0700), or where that
// cannot be, in the settings folder, made here too; the picture and the sound
// looked for in the settings folder, then `exeDir`, then the data folder.
// Relative XDG paths are ignored. Otherwise every folder is `exeDir`.
AppFolders ChooseFolders(const std::string& exeDir, const EnvironmentLookup& environment);

// Makes the folder `path` and its missing parents, each with mode 0700; true
// when `path` is a folder afterwards.
bool MakeFolders(const std::string& path);

}  // namespace zb::posix
