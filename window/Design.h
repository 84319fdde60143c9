// The window's built-in design and the one conversion between twips (the
// settings' unit, 1/1440 inch) and the screen's pixels, and of font points
// (1/72 inch) to pixels.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace zb {

// Twips to whole device pixels at `dpi`, and back.
int TwipsToPixels(std::int32_t twips, double dpi);
double PixelsToTwips(int pixels, double dpi);
// A font's character height in points, in whole pixels at `dpi`.
int PointsToPixels(double points, double dpi);

// A rectangle given in twips, in pixels at the screen's resolution.
PixelRect TwipsToPixels(std::int32_t left,
                        std::int32_t top,
                        std::int32_t width,
                        std::int32_t height,
                        double dpiX,
                        double dpiY);

// Form_Zettelblick as it is made, before the settings change it: a tool
// window "Zettelblick 2" whose inner area is 3375 by 1350 twips, the label
// "Example" (pale yellow, black, no border) at 1375, 0, 2000 by 1350 twips
// and the picture box at 0, 0, 1350 by 1350 twips.
WindowDesign BuiltInDesign(double dpiX, double dpiY);

// The name screen readers give a picture: its file name without folder and
// extension ("thebat" for "thebat.jpg", "C:\Zettelblick\thebat.jpg" or
// "pics/thebat.jpg").
std::string PictureName(const std::string& path);

}  // namespace zb
