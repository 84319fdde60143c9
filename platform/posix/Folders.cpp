#include "platform/posix/Folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Folders.h"

namespace zb::posix {
namespace {

constexpr const char* kFolderName = kProgramName;

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An absolute path from the environment, or empty.
std::string AbsoluteVariable(const EnvironmentLookup& environment, const char* name) {
    const char* value = environment(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string HomeFolder(const EnvironmentLookup& environment) {
    std::string home = AbsoluteVariable(environment, "HOME");
    if (home.empty()) {
        if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
            home = user->pw_dir;
    }
    return home;
}

}  // namespace

std::string InstalledDataFolder(const std::string& exeDir) {
    const std::size_t slash = exeDir.rfind('/');
    const std::string prefix =
        slash == std::string::npos || slash == 0 ? std::string() : exeDir.substr(0, slash);
    return prefix + "/share/" + kFolderName;
}

AppFolders ChooseFolders(const std::string& exeDir, const EnvironmentLookup& environment) {
    const std::string dataFolder = InstalledDataFolder(exeDir);
    const bool installed = ::access(exeDir.c_str(), W_OK) != 0 || IsFolder(dataFolder);
    if (!installed)
        return ChooseAppFolders(exeDir, true, {}, {});

    std::string config = AbsoluteVariable(environment, "XDG_CONFIG_HOME");
    if (config.empty())
        config = HomeFolder(environment) + "/.config";
    const std::string settings = config + "/" + kFolderName;

    // The runtime folder itself belongs to the session; only our folder in it
    // is made.
    std::string locks = AbsoluteVariable(environment, "XDG_RUNTIME_DIR");
    if (!locks.empty()) {
        locks += std::string("/") + kFolderName;
        if (::mkdir(locks.c_str(), 0700) != 0 && !(errno == EEXIST && IsFolder(locks)))
            locks.clear();
    }
    if (locks.empty()) {
        // A folder that cannot be made shows up as the lock's own failure.
        MakeFolders(settings);
        locks = settings;
    }
    return ChooseAppFolders(exeDir, false, settings, locks, dataFolder);
}

bool MakeFolders(const std::string& path) {
    if (IsFolder(path))
        return true;
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsFolder(path));
}

}  // namespace zb::posix
