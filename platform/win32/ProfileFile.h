// The position write on Windows: the real profile function, into a copy that
// then replaces the settings file in one step.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zb::win32 {

// Writes each (key, value) of `keys`, in order, into section `section` of
// the profile file `file`, all in one step: the profile function writes them
// into a copy beside the file (".NAME.XXXXXX", six letters or digits), which
// takes the file's attributes, is flushed to disk and then replaces the file
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). A
// kill or a power cut leaves the old file or the new one, whole. A copy left
// by a killed write is deleted by a later write once it is a minute old.
// False, with the file as it was, on any failure: the file is marked
// read-only, this user may not write it, it cannot be read, the folder
// cannot be written.
bool WriteProfileKeys(const std::string& file,
                      const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& keys);

}  // namespace zb::win32
