// Turns the settings into the visible notification.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "settings/Settings.h"

namespace zb {

// Twips (1/1440 inch) to whole device pixels at `dpi`, and back.
int TwipsToPixels(std::int32_t twips, double dpi);
double PixelsToTwips(int pixels, double dpi);

// Builds and shows the window from `settings` (the message field is filled
// in with the date, time and place first). Throws Failure, before anything is
// shown, for an invalid colour or property value or a picture that cannot be
// loaded.
void ShowNotification(Platform& platform, Settings& settings, const std::string& place,
                      const std::string& appDir);

}  // namespace zb
