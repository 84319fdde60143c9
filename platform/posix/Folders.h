// The folders of a run on Linux. A portable folder (one the user can write)
// keeps everything beside the program, as on Windows. An installed program
// keeps each user's settings in that user's own folder, its lock files in a
// folder of that user on this machine, and finds its picture and sound in
// the installed data folder.
#pragma once

#include <functional>
#include <string>

#include "platform/Platform.h"

namespace zb::posix {

// An environment variable's value; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The data folder of a program in PREFIX/bin: PREFIX/share/zettelblick.
std::string InstalledDataFolder(const std::string& exeDir);

// Where the folders for the user's lock files are looked for: the sessions'
// runtime folders (one per user id) and the machine's temporary folder.
struct LockRoots {
    std::string runtime = "/run/user";
    std::string temporary = "/tmp";
};

// The folder for the lock files of this user on this machine, the same for
// every start whatever its environment says (a mail filter, cron, su and
// the desktop differ in XDG_RUNTIME_DIR): zettelblick in the user's runtime
// folder RUNTIME/UID when that is the user's own private folder, else
// TEMPORARY/zettelblick-UID. Both are local to the machine (never in a home
// folder that other machines share). Made here (mode 0700); an existing one
// must be a folder of this user, which is then made private. Throws Failure
// (Permission denied) when it belongs to someone else or is no folder.
std::string UserLockFolder(const LockRoots& roots = {});

// The folders for the program in `exeDir`. It counts as installed when the
// user cannot write `exeDir`, or when its InstalledDataFolder exists (the
// package's files, whoever runs it: root too). Then: settings in
// $XDG_CONFIG_HOME/zettelblick (default ~/.config/zettelblick); locks in
// UserLockFolder; the picture and the sound looked for in the settings
// folder, then `exeDir`, then the data folder. A relative XDG_CONFIG_HOME is
// ignored. Otherwise every folder is `exeDir`. Throws Failure when the
// installed program's lock folder cannot be used.
AppFolders ChooseFolders(const std::string& exeDir,
                         const EnvironmentLookup& environment,
                         const LockRoots& roots = {});

// Makes the folder `path` and its missing parents, each with mode 0700; true
// when `path` is a folder afterwards.
bool MakeFolders(const std::string& path);

}  // namespace zb::posix
