// Turns the settings into the visible notification.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "settings/Settings.h"

namespace zb {

// Builds and shows the window from `settings`. Returns the message text: the
// message field filled in with the date, time and place when the label is
// shown, the field as it is otherwise. Throws Failure, before anything is
// shown, for an invalid colour or property value or a picture that cannot be
// loaded. The picture is looked for in `dataFolders` (DataFilePath).
std::string ShowNotification(Platform& platform,
                             const Settings& settings,
                             const std::string& place,
                             const std::vector<std::string>& dataFolders);

}  // namespace zb
