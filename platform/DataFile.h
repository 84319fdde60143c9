// Finding the picture and the sound that the settings name.
#pragma once

#include <string>
#include <vector>

namespace zb {

class Platform;

// The path of `name` in the first of `folders` where FileExists finds it;
// when none has it, the path in the first folder (where the user's own files
// go). With one folder no search is made. `folders` is never empty.
std::string DataFilePath(Platform& platform,
                         const std::vector<std::string>& folders,
                         const std::string& name);

}  // namespace zb
