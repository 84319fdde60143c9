#include "window/Notification.h"

#include <algorithm>
#include <optional>

#include "platform/DataFile.h"
#include "platform/Failure.h"
#include "platform/Text.h"
#include "window/AlwaysOnTop.h"
#include "window/ColorText.h"
#include "window/Design.h"
#include "window/MessageText.h"
#include "window/Placement.h"

namespace zb {
namespace {

// The largest font size the label accepts, in points.
constexpr int kMaxFontPoints = 2160;

// A property the window refuses: an unexpected failure naming the setting,
// its value and what it expects.
[[noreturn]] void Refuse(const char* setting, std::int32_t value, const std::string& expected) {
    throw SettingFailure(kErrInvalidProperty, setting, std::to_string(value), expected);
}

// A choice of 0 or 1 (highest 1), or of 0, 1 or 2 (highest 2).
void RequireChoice(const char* setting, std::int32_t value, std::int32_t highest) {
    if (value < 0 || value > highest)
        Refuse(setting, value, highest == 1 ? "0 or 1" : "0, 1 or 2");
}

void RequireSize(const char* setting, std::int32_t value) {
    if (value < 0)
        Refuse(setting, value, "a whole number of twips, 0 or more");
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
    label.background = ParseColorText(s.textBackground, "text.background");
    RequireChoice("text.align", s.textAlign, 2);
    label.align = static_cast<Align>(s.textAlign);
    if (s.textFontSize <= 0 || s.textFontSize > kMaxFontPoints)
        Refuse("text.fontsize", s.textFontSize,
               "a whole number of points from 1 to " + std::to_string(kMaxFontPoints));
    label.font.points = s.textFontSize;
    label.font.pixels = PointsToPixels(s.textFontSize, dpi);
    label.font.bold = s.textFontBold == 1;
    label.font.italic = s.textFontItalic == 1;
    label.font.underline = s.textFontUnderline == 1;
    label.textColor = ParseColorText(s.textFontColor, "text.fontcolor");
    label.font.name = s.textFont;
    label.text = message;
    label.spokenText = WithoutAccessKeyMarks(message);
    return label;
}

PictureSpec PictureAt(const Settings& s, double dpi) {
    PictureSpec picture;
    RequireSize("image.height", s.imageHeight);
    RequireSize("image.width", s.imageWidth);
    picture.rect = TwipsToPixels(s.imageLeft, s.imageTop, s.imageWidth, s.imageHeight, dpi, dpi);
    RequireChoice("image.border", s.imageBorder, 1);
    picture.border = s.imageBorder == 1;
    // The same name from whichever data folder the file comes.
    picture.accessibleName = PictureName(s.imagePicture);
    return picture;
}

// The room between two notifications, in twips.
constexpr std::int32_t kStackGapTwips = 120;

// The height of the band at the top of the window that others leave in sight:
// the caption and the message's first line (the label's top, its border and
// the line), at least a corner the user can click.
int HeaderHeight(Platform& platform, const std::optional<LabelSpec>& label, int height) {
    // The label first: its font loads while the window manager answers
    // what caption it gives the window.
    int header = label ? std::max(label->rect.top, 0) + platform.LabelFirstLineBottom() : 0;
    header += platform.CaptionHeight();
    return std::clamp(std::max(header, kUsablePixels), 1, std::max(height, 1));
}

// The placement lock for one scope, when it can be had in time: a
// notification that waited that long shows anyway. One that has to wait
// paints its window off the screen first (fonts, text, the scaled picture),
// so that its turn under the lock and its map are short; one started alone
// finds the lock free and paints only once, at the map.
class PlacementLock {
public:
    explicit PlacementLock(Platform& platform)
        : platform_(platform), held_(platform.TakePlacementLock(0)) {
        if (!held_) {
            platform.PaintAhead();
            held_ = platform.TakePlacementLock(kPlacementWaitMilliseconds);
        }
    }
    PlacementLock(const PlacementLock&) = delete;
    PlacementLock& operator=(const PlacementLock&) = delete;
    ~PlacementLock() {
        if (held_)
            platform_.ReleasePlacementLock();
    }

private:
    Platform& platform_;
    bool held_;
};

}  // namespace

const char* KeyWithoutArea(Platform& platform, const Settings& s) {
    const auto empty = [](std::int32_t twips, double dpi) {
        return twips >= 0 && TwipsToPixels(twips, dpi) < 1;
    };
    if (empty(s.windowWidth, platform.ScreenDpiX()))
        return "width";
    if (empty(s.windowHeight, platform.ScreenDpiY()))
        return "height";
    return nullptr;
}

ShownNotification ShowNotification(Platform& platform,
                                   const Settings& s,
                                   const std::string& place,
                                   const std::vector<std::string>& dataFolders,
                                   const std::string& kind) {
    platform.SetWindowFrame(s.windowTitle == 1);
    RequireSize("window.width", s.windowWidth);
    RequireSize("window.height", s.windowHeight);
    // The position at the screen's resolution; the sizes at that of the
    // monitor the window covers most there. The settings stay as written; only
    // the window moves when they would put it out of sight, and then takes the
    // resolution of the monitor it moves to.
    const PixelRect placed = TwipsToPixels(s.windowLeft, s.windowTop, s.windowWidth, s.windowHeight,
                                           platform.ScreenDpiX(), platform.ScreenDpiY());
    ShownNotification shown{s.textMessage, platform.MonitorDpi(placed), {}, {}};
    const std::vector<PixelRect> workAreas = platform.MonitorWorkAreas();
    PixelRect outer =
        PlaceOnWorkArea(OuterFrame(s, {placed.left, placed.top}, shown.dpi), workAreas);
    if (outer.left != placed.left || outer.top != placed.top) {
        shown.dpi = platform.MonitorDpi(outer);
        outer = MoveOntoWorkArea(OuterFrame(s, {outer.left, outer.top}, shown.dpi), workAreas);
    }
    platform.SetWindowRect(outer);
    shown.configured = shown.placed = {outer.left, outer.top};
    platform.SetWindowBackground(ParseColorText(s.windowBackground, "window.background"));

    std::optional<LabelSpec> label;
    if (s.textShow == 1) {
        shown.message = BuildMessageText(s.textMessage, place, platform);
        label = LabelAt(s, shown.message, shown.dpi);
        platform.SetLabel(*label);
        platform.SetLabelVisible(true);
    } else {
        platform.SetLabelVisible(false);
    }

    if (s.imageShow == 1) {
        // The picture is always named relative to a data folder.
        try {
            platform.LoadPicture(DataFilePath(platform, dataFolders, s.imagePicture));
        } catch (const Failure& failure) {
            throw SettingFailure(failure, "image.picture", Quoted(s.imagePicture),
                                 failure.number() == kErrInvalidPicture
                                     ? "a JPEG, BMP, PNG, GIF or ICO picture"
                                     : "a file in the settings folder");
        }
        platform.SetPicture(PictureAt(s, shown.dpi));
        platform.SetPictureVisible(true);
    } else {
        platform.SetPictureVisible(false);
    }

    // Everything that takes time happens before the placement lock: the
    // notifications started together share it only to choose and claim their
    // places, and map their windows side by side.
    const int header = HeaderHeight(platform, label, outer.height);
    std::optional<PlacementLock> lock;
    if (s.windowStack == 1 || s.windowReplace == 1)
        lock.emplace(platform);
    PixelRect chosen = outer;
    std::vector<NotificationPlace> others;
    if (s.windowReplace == 1) {
        // The newest of a kind stands where the one it replaces stands, and
        // keeps what that one would have written at its close.
        for (const auto& [frame, given] : platform.ReplaceNotifications(kind)) {
            if (others.empty()) {
                chosen.left = frame.left;
                chosen.top = frame.top;
                shown.placed = given;
            }
            others.push_back({frame, 0});
        }
    }
    if (others.empty() && s.windowStack == 1) {
        others = platform.OtherNotificationPlaces();
        chosen = StackPlace(outer, others, workAreas, TwipsToPixels(kStackGapTwips, shown.dpi));
        shown.placed = {chosen.left, chosen.top};
    }
    if (chosen.left != outer.left || chosen.top != outer.top)
        platform.SetWindowRect(chosen);
    // Claimed before the lock goes: the next one sees the place taken,
    // however long the window takes to appear.
    platform.ClaimPlace({chosen, header}, shown.placed, kind);
    // One that covers others (a full work area, a replacement) is shown
    // before the next one chooses, so that the newest lies on top.
    if (!Covers(chosen, others))
        lock.reset();
    platform.ShowWindow();
    lock.reset();
    if (s.windowAlwaysOnTop == 1)
        SetTopMost(platform, true);
    return shown;
}

void LayOutNotification(Platform& platform,
                        const Settings& s,
                        const std::string& message,
                        double dpi,
                        PixelPoint topLeft) {
    platform.SetWindowRect(OuterFrame(s, topLeft, dpi));
    if (s.textShow == 1)
        platform.SetLabel(LabelAt(s, message, dpi));
    if (s.imageShow == 1)
        platform.SetPicture(PictureAt(s, dpi));
}

}  // namespace zb
