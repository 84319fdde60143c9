#include "window/Design.h"

#include <cmath>

#include "platform/Text.h"

namespace zb {

int TwipsToPixels(std::int32_t twips, double dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

double PixelsToTwips(int pixels, double dpi) {
    return static_cast<double>(pixels) * 1440.0 / dpi;
}

int PointsToPixels(double points, double dpi) {
    return static_cast<int>(std::lround(points * dpi / 72.0));
}

PixelRect TwipsToPixels(std::int32_t left,
                        std::int32_t top,
                        std::int32_t width,
                        std::int32_t height,
                        double dpiX,
                        double dpiY) {
    return {TwipsToPixels(left, dpiX), TwipsToPixels(top, dpiY), TwipsToPixels(width, dpiX),
            TwipsToPixels(height, dpiY)};
}

WindowDesign BuiltInDesign(double dpiX, double dpiY) {
    WindowDesign design;
    design.innerWidth = TwipsToPixels(3375, dpiX);
    design.innerHeight = TwipsToPixels(1350, dpiY);
    design.caption = "Zettelblick 2";
    // The form's own colour is the system's face colour of dialogs; the
    // settings replace it before the window is ever shown.
    design.background = 0xF0F0F0;

    design.label.rect = TwipsToPixels(1375, 0, 2000, 1350, dpiX, dpiY);
    design.label.border = false;
    design.label.background = 0xBAFEFE;
    design.label.textColor = 0x000000;
    design.label.font.name = "MS Sans Serif";
    design.label.font.pixels = PointsToPixels(design.label.font.points, dpiY);
    design.label.text = "Example";
    design.label.spokenText = WithoutAccessKeyMarks(design.label.text);

    design.picture.rect = TwipsToPixels(0, 0, 1350, 1350, dpiX, dpiY);
    return design;
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
