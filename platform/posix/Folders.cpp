#include "platform/posix/Folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Failure.h"
#include "platform/Folders.h"
#include "platform/posix/Errors.h"

namespace zb::posix {
namespace {

constexpr const char* kFolderName = kProgramName;

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether `path` itself (not a link's target) is a folder of `user` that
// nobody else may enter.
bool IsPrivateFolder(const std::string& path, uid_t user) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == user &&
           (st.st_mode & 077) == 0;
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

std::string UserLockFolder(const LockRoots& roots) {
    const uid_t user = ::geteuid();
    const std::string id = std::to_string(user);
    // The session's runtime folder exists while the user is logged in, which
    // is when a notification can be seen; a start without it (no session
    // manager, or none yet) uses the temporary folder.
    const std::string runtime = roots.runtime + "/" + id;
    const std::string folder = IsPrivateFolder(runtime, user)
                                   ? runtime + "/" + kFolderName
                                   : roots.temporary + "/" + kFolderName + "-" + id;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw LockFileFailure(errno, folder);
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0)
        throw LockFileFailure(errno, folder);
    // Someone else's folder (or a link to one) in the temporary folder would
    // let that user see, delete or fake this user's locks.
    if (!S_ISDIR(st.st_mode) || st.st_uid != user)
        throw zb::SystemFailure(kErrPermissionDenied, folder,
                                "not a folder of this user: remove it");
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        throw LockFileFailure(errno, folder);
    return folder;
}

AppFolders ChooseFolders(const std::string& exeDir,
                         const EnvironmentLookup& environment,
                         const LockRoots& roots) {
    const std::string dataFolder = InstalledDataFolder(exeDir);
    const bool installed = ::access(exeDir.c_str(), W_OK) != 0 || IsFolder(dataFolder);
    if (!installed)
        return ChooseAppFolders(exeDir, true, {}, {});

    std::string config = AbsoluteVariable(environment, "XDG_CONFIG_HOME");
    if (config.empty())
        config = HomeFolder(environment) + "/.config";
    const std::string settings = config + "/" + kFolderName;
    return ChooseAppFolders(exeDir, false, settings, UserLockFolder(roots), dataFolder);
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
