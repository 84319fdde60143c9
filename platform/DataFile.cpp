#include "platform/DataFile.h"

#include "platform/Platform.h"

namespace zb {

std::string DataFilePath(Platform& platform,
                         const std::vector<std::string>& folders,
                         const std::string& name) {
    if (folders.size() > 1) {
        for (const std::string& folder : folders) {
            std::string path = folder + "\\" + name;
            if (platform.FileExists(path))
                return path;
        }
    }
    return folders.front() + "\\" + name;
}

}  // namespace zb
