#include "window/Notification.h"

#include "platform/DataFile.h"
#include "platform/Failure.h"
#include "window/AlwaysOnTop.h"
#include "window/ColorText.h"
#include "window/Design.h"
#include "window/MessageText.h"
#include "window/Placement.h"

namespace zb {
namespace {

// The largest font size the label accepts, in points.
constexpr int kMaxFontPoints = 2160;

// A property the window refuses: an unexpected failure naming the setting.
[[noreturn]] void Refuse(const char* setting, std::int32_t value) {
    throw MakeFailure(kErrInvalidProperty, std::string(setting) + " = " + std::to_string(value));
}

void RequireChoice(const char* setting, std::int32_t value, std::int32_t highest) {
    if (value < 0 || value > highest)
        Refuse(setting, value);
}

void RequireSize(const char* setting, std::int32_t value) {
    if (value < 0)
        Refuse(setting, value);
}

// The outer frame: its top-left corner as given, its size at `dpi`.
PixelRect OuterFrame(const Settings& s, PixelPoint topLeft, double dpi) {
    return {topLeft.x, topLeft.y, TwipsToPixels(s.windowWidth, dpi),
            TwipsToPixels(s.windowHeight, dpi)};
}

LabelSpec LabelAt(const Settings& s, const std::string& message, double dpi) {
    LabelSpec label;
    RequireSize("text.width", s.textWidth);
    RequireSize("text.height", s.textHeight);
    label.rect = TwipsToPixels(s.textLeft, s.textTop, s.textWidth, s.textHeight, dpi, dpi);
    RequireChoice("text.backstyle", s.textBackStyle, 1);
    label.opaque = s.textBackStyle == 1;
    RequireChoice("text.border", s.textBorder, 1);
    label.border = s.textBorder == 1;
    label.background = ParseColorText(s.textBackground);
    RequireChoice("text.align", s.textAlign, 2);
    label.align = static_cast<Align>(s.textAlign);
    if (s.textFontSize <= 0 || s.textFontSize > kMaxFontPoints)
        Refuse("text.fontsize", s.textFontSize);
    label.font.points = s.textFontSize;
    label.font.pixels = PointsToPixels(s.textFontSize, dpi);
    label.font.bold = s.textFontBold == 1;
    label.font.italic = s.textFontItalic == 1;
    label.font.underline = s.textFontUnderline == 1;
    label.textColor = ParseColorText(s.textFontColor);
    label.font.name = s.textFont;
    label.text = message;
    return label;
}

PictureSpec PictureAt(const Settings& s, double dpi) {
    PictureSpec picture;
    RequireSize("image.height", s.imageHeight);
    RequireSize("image.width", s.imageWidth);
    picture.rect = TwipsToPixels(s.imageLeft, s.imageTop, s.imageWidth, s.imageHeight, dpi, dpi);
    RequireChoice("image.border", s.imageBorder, 1);
    picture.border = s.imageBorder == 1;
    return picture;
}

}  // namespace

bool HasArea(Platform& platform, const Settings& s) {
    const auto empty = [](std::int32_t twips, double dpi) {
        return twips >= 0 && TwipsToPixels(twips, dpi) < 1;
    };
    return !empty(s.windowWidth, platform.ScreenDpiX()) &&
           !empty(s.windowHeight, platform.ScreenDpiY());
}

ShownNotification ShowNotification(Platform& platform,
                                   const Settings& s,
                                   const std::string& place,
                                   const std::vector<std::string>& dataFolders) {
    platform.SetWindowFrame(s.windowTitle == 1);
    RequireSize("window.width", s.windowWidth);
    RequireSize("window.height", s.windowHeight);
    // The position at the screen's resolution; the sizes at that of the
    // monitor the window covers most there. The settings stay as written; only
    // the window moves when they would put it out of sight, and then takes the
    // resolution of the monitor it moves to.
    const PixelRect placed = TwipsToPixels(s.windowLeft, s.windowTop, s.windowWidth, s.windowHeight,
                                           platform.ScreenDpiX(), platform.ScreenDpiY());
    ShownNotification shown{s.textMessage, platform.MonitorDpi(placed)};
    const std::vector<PixelRect> workAreas = platform.MonitorWorkAreas();
    PixelRect outer =
        PlaceOnWorkArea(OuterFrame(s, {placed.left, placed.top}, shown.dpi), workAreas);
    if (outer.left != placed.left || outer.top != placed.top) {
        shown.dpi = platform.MonitorDpi(outer);
        outer = MoveOntoWorkArea(OuterFrame(s, {outer.left, outer.top}, shown.dpi), workAreas);
    }
    platform.SetWindowRect(outer);
    platform.SetWindowBackground(ParseColorText(s.windowBackground));

    if (s.textShow == 1) {
        shown.message = BuildMessageText(s.textMessage, place, platform);
        platform.SetLabel(LabelAt(s, shown.message, shown.dpi));
        platform.SetLabelVisible(true);
    } else {
        platform.SetLabelVisible(false);
    }

    if (s.imageShow == 1) {
        // The picture is always named relative to a data folder.
        platform.LoadPicture(DataFilePath(platform, dataFolders, s.imagePicture));
        platform.SetPicture(PictureAt(s, shown.dpi));
        platform.SetPictureVisible(true);
    } else {
        platform.SetPictureVisible(false);
    }

    platform.ShowWindow();
    if (s.windowAlwaysOnTop == 1)
        SetTopMost(platform, true);
    return shown;
}

void LayOutNotification(Platform& platform, const Settings& s, double dpi, PixelPoint topLeft) {
    platform.SetWindowRect(OuterFrame(s, topLeft, dpi));
    if (s.textShow == 1)
        platform.SetLabel(LabelAt(s, s.textMessage, dpi));
    if (s.imageShow == 1)
        platform.SetPicture(PictureAt(s, dpi));
}

}  // namespace zb
