// The folders of a run on Windows. A program whose folder the user can write
// is portable: everything stays beside it. An installed one (the Windows
// Installer package's, or any under Program Files where only administrators
// write) keeps each user's settings in the roaming application data and the
// lock files in the local one.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace zb::win32 {

// Whether files can be made and deleted in `dir`: a file is created there
// (a new name, hidden, deleted again when its handle closes), as Windows
// decides with the folder's permissions, whatever the folder is called.
bool FolderIsWritable(const std::string& dir);

// The file the Windows Installer package puts beside the program: a folder
// that holds it is an installed copy, whoever may write the folder.
inline constexpr char kInstallMark[] = "zettelblick.installed";

// Whether `dir` holds the install mark.
bool HasInstallMark(const std::string& dir);

// The folders for the program in `exeDir` (ChooseAppFolders): installed when
// `exeDir` holds the install mark or this user cannot write it, else
// portable. Installed:
// the settings in %APPDATA%\Zettelblick (FOLDERID_RoamingAppData), its folder
// made by the first position write; the locks in %LOCALAPPDATA%\Zettelblick
// (FOLDERID_LocalAppData), made here, or where that cannot be, in the
// settings folder, made here too. Without a roaming folder the run stays in
// `exeDir`, where the lock's failure tells the user what to do.
AppFolders ChooseFolders(const std::string& exeDir);

// Makes the folder `path` (its parent must exist); true when it is a folder
// afterwards.
bool MakeFolder(const std::string& path);

}  // namespace zb::win32
