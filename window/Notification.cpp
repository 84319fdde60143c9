#include "window/Notification.h"

#include "platform/DataFile.h"
#include "platform/Failure.h"
#include "window/AlwaysOnTop.h"
#include "window/ColorText.h"
#include "window/Design.h"
#include "window/MessageText.h"

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

}  // namespace

std::string ShowNotification(Platform& platform,
                             const Settings& s,
                             const std::string& place,
                             const std::vector<std::string>& dataFolders) {
    const double dpiX = platform.ScreenDpiX();
    const double dpiY = platform.ScreenDpiY();

    platform.SetWindowFrame(s.windowTitle == 1);
    RequireSize("window.width", s.windowWidth);
    RequireSize("window.height", s.windowHeight);
    platform.SetWindowRect(
        TwipsToPixels(s.windowLeft, s.windowTop, s.windowWidth, s.windowHeight, dpiX, dpiY));
    platform.SetWindowBackground(ParseColorText(s.windowBackground));

    std::string message = s.textMessage;
    if (s.textShow == 1) {
        message = BuildMessageText(s.textMessage, place, platform);
        LabelSpec label;
        RequireSize("text.width", s.textWidth);
        RequireSize("text.height", s.textHeight);
        label.rect = TwipsToPixels(s.textLeft, s.textTop, s.textWidth, s.textHeight, dpiX, dpiY);
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
        label.font.bold = s.textFontBold == 1;
        label.font.italic = s.textFontItalic == 1;
        label.font.underline = s.textFontUnderline == 1;
        label.textColor = ParseColorText(s.textFontColor);
        label.font.name = s.textFont;
        label.text = message;
        platform.SetLabel(label);
        platform.SetLabelVisible(true);
    } else {
        platform.SetLabelVisible(false);
    }

    if (s.imageShow == 1) {
        // The picture is always named relative to a data folder.
        platform.LoadPicture(DataFilePath(platform, dataFolders, s.imagePicture));
        PictureSpec picture;
        RequireSize("image.height", s.imageHeight);
        RequireSize("image.width", s.imageWidth);
        picture.rect =
            TwipsToPixels(s.imageLeft, s.imageTop, s.imageWidth, s.imageHeight, dpiX, dpiY);
        RequireChoice("image.border", s.imageBorder, 1);
        picture.border = s.imageBorder == 1;
        platform.SetPicture(picture);
        platform.SetPictureVisible(true);
    } else {
        platform.SetPictureVisible(false);
    }

    platform.ShowWindow();
    if (s.windowAlwaysOnTop == 1)
        SetTopMost(platform, true);
    return message;
}

}  // namespace zb
