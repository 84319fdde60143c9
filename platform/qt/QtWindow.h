// The notification window's widgets: the top-level window, the message label
// and the stretching picture box. They draw and report clicks; everything
// else (geometry, frame, window-manager requests) is QtPlatform's job.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QAccessible>
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include "platform/Platform.h"

namespace zb::qt {

// A small tool window: caption with a close box only, no minimise or
// maximise button, not resizable by these hints. It never takes the
// keyboard focus (WM_HINTS input false), neither when shown nor when clicked.
inline constexpr Qt::WindowFlags kToolFrame = Qt::Tool | Qt::CustomizeWindowHint |
                                              Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                              Qt::WindowDoesNotAcceptFocus;
// No caption and no border; still a utility window that takes no focus.
inline constexpr Qt::WindowFlags kNoFrame =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus;

// Converts 0x00BBGGRR (red lowest) to a colour; the high byte is ignored.
QColor ToQColor(Color color);

// Text as the label draws it: "\r\n" and lone "\r" become "\n".
QString LabelDrawText(const std::string& utf8);

// The message label (Label_Text): background, sunken border and word-wrapped
// text with "&" access-key markers, clipped to its rectangle.
class LabelWidget : public QWidget {
public:
    explicit LabelWidget(QWidget* parent);
    void Apply(const LabelSpec& label);
    // The text as a screen reader reads it: the access-key markers taken out.
    QString SpokenText() const;
    // How far below the label's top its first line of text ends (the border
    // included).
    int FirstLineBottom() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool opaque_ = true;
    bool border_ = false;
    QColor background_;
    QColor textColor_;
    int flags_ = 0;
    QString text_;
    QString spokenText_;
};

// The picture box (Image_Logo): the picture stretched to the box, proportions
// ignored, with an optional sunken border.
class PictureWidget : public QWidget {
public:
    explicit PictureWidget(QWidget* parent);
    void SetImage(QImage image);
    void Apply(const PictureSpec& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect ImageRect() const;

    QImage image_;
    // The picture scaled to ImageRect's size, made once per size.
    QPixmap scaled_;
    bool border_ = false;
};

// The top-level window (Form_Zettelblick). Clicks anywhere inside it and the
// close box go to the logic's WindowEvents.
class NotifierWindow : public QWidget,
                       private QAccessible::ActivationObserver,
                       private QAbstractNativeEventFilter {
public:
    explicit NotifierWindow(WindowEvents& events);
    ~NotifierWindow() override;

    // Tells assistive technology that the notification has appeared (again
    // when a screen reader connects while it is shown).
    void Announce();

    LabelWidget* Label() const { return label_; }
    PictureWidget* Picture() const { return picture_; }

    // After this no event reaches the logic any more (the window is going).
    void Detach() { events_ = nullptr; }
    // While held, a close request (or a replacement's) is kept and delivered
    // on release, so that the logic is not re-entered in the middle of one of
    // its own steps.
    void HoldEvents(bool hold);
    // Asks the logic to close the window, as the close box does.
    void RequestClose();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Undoes an iconify: the notification is in no taskbar, so nothing
    // would bring it back.
    void changeEvent(QEvent* event) override;

private:
    void accessibilityActiveChanged(bool active) override;
    // Watches for another X client destroying the window, which leaves
    // nothing to click or close: the logic is told the window is lost; and
    // for a newer notification asking this one to end as replaced.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // Tells the logic, from the event loop, that it has been replaced.
    void TellReplaced();

    WindowEvents* events_;
    LabelWidget* label_;
    PictureWidget* picture_;
    bool held_ = false;
    bool closePending_ = false;
    bool replacePending_ = false;
};

// Gives the window, the label and the picture the roles and names that
// assistive technology reads (once per process).
void InstallAccessibility();

// Draws a sunken three-dimensional edge, two pixels wide, inside `rect`.
void DrawSunkenEdge(QPainter& painter, const QRect& rect);

// Width of the sunken edge on each side.
constexpr int kEdgeWidth = 2;

}  // namespace zb::qt
