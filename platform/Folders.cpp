#include "platform/Folders.h"

namespace zb {

AppFolders ChooseAppFolders(const std::string& exeDir,
                            bool portable,
                            const std::string& settings,
                            const std::string& locks,
                            const std::string& installedData) {
    if (portable)
        return {exeDir, exeDir, {exeDir}};
    AppFolders folders{settings, locks, {settings, exeDir}};
    if (!installedData.empty())
        folders.data.push_back(installedData);
    return folders;
}

}  // namespace zb
