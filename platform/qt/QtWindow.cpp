#include "platform/qt/QtWindow.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "platform/qt/X11.h"

namespace zb::qt {
namespace {

// The classic 3D colours of a sunken edge.
const QColor kShadow(0xA0, 0xA0, 0xA0);
const QColor kDarkShadow(0x69, 0x69, 0x69);
const QColor kLight(0xE3, 0xE3, 0xE3);
const QColor kHighlight(0xFF, 0xFF, 0xFF);

int AlignmentFlag(Align align) {
    switch (align) {
        case Align::Right:
            return Qt::AlignRight;
        case Align::Center:
            return Qt::AlignHCenter;
        case Align::Left:
        default:
            return Qt::AlignLeft;
    }
}

// The accessible side of the three widgets, which draw everything
// themselves: the window is a notification named by its caption, the label
// static text named by its message, the picture a graphic.
QAccessibleInterface* AccessibleFor(const QString&, QObject* object) {
    if (auto* label = dynamic_cast<LabelWidget*>(object)) {
        class LabelAccessible : public QAccessibleWidget {
        public:
            explicit LabelAccessible(LabelWidget* label)
                : QAccessibleWidget(label, QAccessible::StaticText) {}
            QString text(QAccessible::Text t) const override {
                if (t == QAccessible::Name || t == QAccessible::Value)
                    return static_cast<const LabelWidget*>(widget())->SpokenText();
                return QAccessibleWidget::text(t);
            }
        };
        return new LabelAccessible(label);
    }
    if (auto* picture = dynamic_cast<PictureWidget*>(object))
        return new QAccessibleWidget(picture, QAccessible::Graphic);
    if (auto* window = dynamic_cast<NotifierWindow*>(object))
        return new QAccessibleWidget(window, QAccessible::Notification);
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(&AccessibleFor);
    installed = true;
}

QColor ToQColor(Color color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

QString LabelDrawText(const std::string& utf8) {
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    return text;
}

void DrawSunkenEdge(QPainter& painter, const QRect& rect) {
    if (rect.width() < 2 * kEdgeWidth || rect.height() < 2 * kEdgeWidth)
        return;
    const int x0 = rect.left(), y0 = rect.top(), x1 = rect.right(), y1 = rect.bottom();
    // Outer ring: shadow above and left, highlight below and right.
    painter.fillRect(QRect(QPoint(x0, y0), QPoint(x1 - 1, y0)), kShadow);
    painter.fillRect(QRect(QPoint(x0, y0), QPoint(x0, y1 - 1)), kShadow);
    painter.fillRect(QRect(QPoint(x0, y1), QPoint(x1, y1)), kHighlight);
    painter.fillRect(QRect(QPoint(x1, y0), QPoint(x1, y1)), kHighlight);
    // Inner ring: dark shadow above and left, light below and right.
    painter.fillRect(QRect(QPoint(x0 + 1, y0 + 1), QPoint(x1 - 2, y0 + 1)), kDarkShadow);
    painter.fillRect(QRect(QPoint(x0 + 1, y0 + 1), QPoint(x0 + 1, y1 - 2)), kDarkShadow);
    painter.fillRect(QRect(QPoint(x0 + 1, y1 - 1), QPoint(x1 - 1, y1 - 1)), kLight);
    painter.fillRect(QRect(QPoint(x1 - 1, y0 + 1), QPoint(x1 - 1, y1 - 1)), kLight);
}

LabelWidget::LabelWidget(QWidget* parent) : QWidget(parent) {
    // Clicks go to the window, which hands them to the logic.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LabelWidget::Apply(const LabelSpec& label) {
    opaque_ = label.opaque;
    border_ = label.border;
    background_ = ToQColor(label.background);
    textColor_ = ToQColor(label.textColor);
    flags_ = AlignmentFlag(label.align) | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic;
    text_ = LabelDrawText(label.text);
    spokenText_ = LabelDrawText(label.spokenText);

    // Size and styles first, then the name, which keeps them.
    QFont font;
    if (label.font.points > 0)
        font.setPointSizeF(label.font.points);
    font.setBold(label.font.bold);
    font.setItalic(label.font.italic);
    font.setUnderline(label.font.underline);
    font.setStrikeOut(false);
    font.setFamily(QString::fromStdString(label.font.name));
    setFont(font);

    setGeometry(label.rect.left, label.rect.top, label.rect.width, label.rect.height);
    update();
}

QString LabelWidget::SpokenText() const {
    return spokenText_;
}

int LabelWidget::FirstLineBottom() const {
    return (border_ ? kEdgeWidth : 0) + QFontMetrics(font()).lineSpacing();
}

void LabelWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect all = rect();
    // A transparent label paints nothing behind the text: the window's
    // background shows through.
    if (opaque_)
        painter.fillRect(all, background_);
    const QRect textRect =
        border_ ? all.adjusted(kEdgeWidth, kEdgeWidth, -kEdgeWidth, -kEdgeWidth) : all;
    painter.save();
    painter.setClipRect(textRect);
    painter.setFont(font());
    painter.setPen(textColor_);
    painter.drawText(textRect, flags_, text_);
    painter.restore();
    if (border_)
        DrawSunkenEdge(painter, all);
}

PictureWidget::PictureWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PictureWidget::SetImage(QImage image) {
    image_ = std::move(image);
    scaled_ = QPixmap();
    update();
}

void PictureWidget::Apply(const PictureSpec& picture) {
    border_ = picture.border;
    setAccessibleName(QString::fromStdString(picture.accessibleName));
    setGeometry(picture.rect.left, picture.rect.top, picture.rect.width, picture.rect.height);
    update();
}

QRect PictureWidget::ImageRect() const {
    return border_ ? rect().adjusted(kEdgeWidth, kEdgeWidth, -kEdgeWidth, -kEdgeWidth) : rect();
}

void PictureWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect target = ImageRect();
    if (!image_.isNull() && target.width() > 0 && target.height() > 0) {
        if (scaled_.size() != target.size()) {
            scaled_ = QPixmap::fromImage(
                image_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        painter.drawPixmap(target.topLeft(), scaled_);
    }
    if (border_)
        DrawSunkenEdge(painter, rect());
}

NotifierWindow::NotifierWindow(WindowEvents& events)
    : QWidget(nullptr, kToolFrame), events_(&events) {
    setObjectName(QStringLiteral("Form_Zettelblick"));
    setAutoFillBackground(true);
    // Mapped with _NET_WM_USER_TIME 0: the window manager leaves the focus
    // where the user is typing.
    setAttribute(Qt::WA_ShowWithoutActivating);
    label_ = new LabelWidget(this);
    label_->setObjectName(QStringLiteral("Label_Text"));
    // Made after the label, so it lies above it where the two overlap.
    picture_ = new PictureWidget(this);
    picture_->setObjectName(QStringLiteral("Image_Logo"));
    QAccessible::installActivationObserver(this);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

NotifierWindow::~NotifierWindow() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    QAccessible::removeActivationObserver(this);
}

bool NotifierWindow::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!events_ || eventType != "xcb_generic_event_t" || !testAttribute(Qt::WA_WState_Created))
        return false;
    const auto id = static_cast<std::uint32_t>(winId());
    if (x11::IsReplaceRequest(message, id)) {
        if (held_) {
            replacePending_ = true;
            return true;
        }
        TellReplaced();
        return true;
    }
    if (!x11::IsDestroyNotify(message, id))
        return false;
    // Told from the event loop, not from inside Qt's event dispatch.
    QTimer::singleShot(0, this, [this] {
        if (events_)
            events_->OnWindowLost();
    });
    return false;
}

void NotifierWindow::TellReplaced() {
    QTimer::singleShot(0, this, [this] {
        if (events_)
            events_->OnReplaced();
    });
}

void NotifierWindow::Announce() {
    if (!QAccessible::isActive() || !isVisible())
        return;
    // A screen reader speaks a notification when it is shown. show() says so
    // too, but at start-up the AT-SPI bridge learns only a moment later which
    // events anyone listens to, and drops them until then. The alert is what
    // a message box raises, for bridges that take it.
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void NotifierWindow::accessibilityActiveChanged(bool active) {
    // A screen reader that connects while the window is shown hears of it.
    if (active)
        Announce();
}

void NotifierWindow::HoldEvents(bool hold) {
    held_ = hold;
    if (!hold && replacePending_) {
        replacePending_ = false;
        closePending_ = false;
        TellReplaced();
    }
    if (!hold && closePending_) {
        closePending_ = false;
        QTimer::singleShot(0, this, [this] {
            if (events_)
                events_->OnCloseRequest();
        });
    }
}

void NotifierWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || held_ || !events_)
        return;
    events_->OnClick();
}

void NotifierWindow::closeEvent(QCloseEvent* event) {
    // The logic decides: it runs its close-down and then destroys the window.
    event->ignore();
    RequestClose();
}

void NotifierWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !(windowState() & Qt::WindowMinimized))
        return;
    // Mapping the window again takes it out of the iconic state.
    QTimer::singleShot(0, this, [this] {
        if (events_ && (windowState() & Qt::WindowMinimized))
            setWindowState(windowState() & ~Qt::WindowMinimized);
    });
}

void NotifierWindow::RequestClose() {
    if (held_) {
        closePending_ = true;
        return;
    }
    if (events_)
        events_->OnCloseRequest();
}

}  // namespace zb::qt
