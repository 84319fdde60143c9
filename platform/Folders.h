// The one rule of both backends for where a run keeps and looks for its
// files: portable beside the program, or installed in the user's folders.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace zb {

// The folders of the program in `exeDir`. Portable (the backend found its
// folder writable, or has no user folders to offer): every folder is
// `exeDir`. Installed: the settings in `settings`, the locks in `locks`, and
// the picture and the sound looked for in the settings folder, then beside
// the program, then in `installedData` when it is given.
AppFolders ChooseAppFolders(const std::string& exeDir,
                            bool portable,
                            const std::string& settings,
                            const std::string& locks,
                            const std::string& installedData = {});

}  // namespace zb
