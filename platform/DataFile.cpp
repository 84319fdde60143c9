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

std::string PictureName(const std::string& path) {
    const std::size_t folder = path.find_last_of("\\/");
    std::string name = folder == std::string::npos ? path : path.substr(folder + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

}  // namespace zb
