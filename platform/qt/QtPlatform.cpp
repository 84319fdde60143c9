#include "platform/qt/QtPlatform.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "platform/Failure.h"
#include "platform/Text.h"
#include "platform/canberra/Sound.h"
#include "platform/posix/Caller.h"
#include "platform/posix/Folders.h"
#include "platform/posix/Locale.h"
#include "platform/posix/Process.h"
#include "platform/qt/Picture.h"
#include "platform/qt/QtWindow.h"

namespace zb::qt {
namespace {

// How long ShowWindow waits for the window manager to map the window.
constexpr auto kMapWait = std::chrono::milliseconds(2000);

}  // namespace

QtPlatform::QtPlatform(std::string commandLine) : commandLine_(std::move(commandLine)) {}

QtPlatform::~QtPlatform() {
    ReleasePlacementLock();
    delete window_;
    // Windows the logic destroyed are still waiting for deleteLater().
    if (QCoreApplication::instance())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// --- process ------------------------------------------------------------------

std::string QtPlatform::CommandLineText() {
    return commandLine_;
}

std::string QtPlatform::ExecutableDir() {
    return posix::ExecutableDirectory();
}

AppFolders QtPlatform::Folders() {
    folders_ = posix::ChooseFolders(ExecutableDir(), [](const char* name) {
        return static_cast<const char*>(std::getenv(name));
    });
    return folders_;
}

void QtPlatform::ReleaseCaller(int status) {
    posix::ReleaseCaller(status);
}

// --- files ----------------------------------------------------------------------

bool QtPlatform::FileExists(const std::string& name) {
    return posix::FindRegularFile(posix::NativePath(name));
}

LockResult QtPlatform::TakeLockFile(const std::string& path) {
    return ownFiles_.TakeLock(posix::NativePath(path));
}

bool QtPlatform::DeleteOwnFile(const std::string& path) {
    return ownFiles_.Delete(posix::NativePath(path));
}

// --- profile ----------------------------------------------------------------------

std::uint32_t QtPlatform::ProfileInt(const std::string& section,
                                     const std::string& key,
                                     std::int32_t def,
                                     const std::string& file) {
    return profiles_.GetInt(posix::NativePath(file), section, key, def);
}

std::string QtPlatform::ProfileString(const std::string& section,
                                      const std::string& key,
                                      const std::string& def,
                                      int size,
                                      const std::string& file) {
    return profiles_.GetString(posix::NativePath(file), section, key, def, size);
}

bool QtPlatform::WriteProfileString(const std::string& section,
                                    const std::string& key,
                                    const std::string& value,
                                    const std::string& file) {
    // An installed program's settings folder is made by its first write.
    if (!folders_.settings.empty())
        posix::MakeFolders(folders_.settings);
    return profiles_.WriteString(posix::NativePath(file), section, key, value);
}

std::string QtPlatform::AnsiToUtf8(const std::string& bytes) {
    // Linux has no system code page for settings files; those written on
    // Windows are most often Windows-1252.
    return Windows1252ToUtf8(bytes);
}

// --- window -------------------------------------------------------------------------

void QtPlatform::CreateMainWindow(WindowEvents& events, const WindowDesign& design) {
    if (window_)
        return;
    InstallAccessibility();
    window_ = new NotifierWindow(events);
    events_ = &events;
    window_->setWindowTitle(QString::fromStdString(design.caption));
    window_->resize(design.innerWidth, design.innerHeight);
    SetWindowBackground(design.background);
    window_->Label()->Apply(design.label);
    window_->Picture()->Apply(design.picture);
}

double QtPlatform::ScreenDpiX() {
    if (dpiX_ <= 0) {
        QScreen* screen = QGuiApplication::primaryScreen();
        dpiX_ = screen ? screen->logicalDotsPerInchX() : 96.0;
    }
    return dpiX_;
}

double QtPlatform::ScreenDpiY() {
    if (dpiY_ <= 0) {
        QScreen* screen = QGuiApplication::primaryScreen();
        dpiY_ = screen ? screen->logicalDotsPerInchY() : 96.0;
    }
    return dpiY_;
}

std::vector<PixelRect> QtPlatform::MonitorWorkAreas() {
    // Qt's screens are the monitors (RandR); each one's available geometry is
    // its part of the window manager's work area (_NET_WORKAREA).
    std::vector<PixelRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        if (!area.isEmpty())
            areas.push_back({area.x(), area.y(), area.width(), area.height()});
    }
    return areas;
}

double QtPlatform::MonitorDpi(const PixelRect&) {
    // One logical resolution (Xft.dpi) for every screen of the display.
    return ScreenDpiY();
}

void QtPlatform::SetWindowFrame(bool toolWindow) {
    if (!window_)
        return;
    // Changing the flags re-creates the native window; the window is not
    // shown yet, so nothing flickers.
    window_->setWindowFlags(toolWindow ? kToolFrame : kNoFrame);
    if (haveRect_)
        ApplyGeometry(true);
}

void QtPlatform::SetWindowRect(const PixelRect& outer) {
    // A move alone keeps the frame: the window manager need not be asked again.
    const bool resized = !haveRect_ || outer.width != outer_.width || outer.height != outer_.height;
    outer_ = outer;
    haveRect_ = true;
    if (window_)
        ApplyGeometry(resized);
}

void QtPlatform::ApplyGeometry(bool askWindowManager) {
    const auto id = static_cast<std::uint32_t>(window_->winId());
    if (askWindowManager) {
        // An answer still on its way belongs to the frame before.
        TakeFrameExtents();
        // Fixed size first: the window manager sizes its frame by that (a
        // resizable window gets a resize handle), and its answer must match
        // the frame the window will really have.
        window_->setFixedSize(std::max(1, outer_.width), std::max(1, outer_.height));
        // Answered while the window is being built, and taken before mapping,
        // so the window appears at once where it belongs. Until then the
        // last known frame stands in.
        extentsAsked_ = x11::RequestFrameExtents(id);
        if (!extentsAsked_)
            extents_ = x11::FrameExtents{};
        // Without a window manager the window is its own frame; one that
        // does not answer tells the frame only once it maps the window.
        frameKnown_ = !extentsAsked_ && !x11::WindowManagerRunning();
    }
    const int width = std::max(1, outer_.width - extents_.left - extents_.right);
    const int height = std::max(1, outer_.height - extents_.top - extents_.bottom);
    // Fixed size: neither the user nor the window manager resizes it.
    window_->setFixedSize(width, height);
    // The client area's position; Qt asks the window manager to keep it
    // there (static gravity), so the frame lands at outer_'s corner.
    window_->setGeometry(outer_.left + extents_.left, outer_.top + extents_.top, width, height);
}

void QtPlatform::TakeFrameExtents() {
    if (!extentsAsked_)
        return;
    extentsAsked_ = false;
    const auto answer = x11::AwaitFrameExtents(static_cast<std::uint32_t>(window_->winId()));
    frameKnown_ = answer.has_value();
    extents_ = answer.value_or(x11::FrameExtents{});
    ApplyGeometry(false);
}

void QtPlatform::SetWindowBackground(Color color) {
    if (!window_)
        return;
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, ToQColor(color));
    window_->setPalette(palette);
}

void QtPlatform::SetLabel(const LabelSpec& label) {
    if (window_)
        window_->Label()->Apply(label);
}

void QtPlatform::SetLabelVisible(bool visible) {
    if (window_)
        window_->Label()->setVisible(visible);
}

void QtPlatform::LoadPicture(const std::string& path) {
    const std::string file = posix::NativePath(path);
    QImage image = DecodePicture(file);
    if (window_)
        window_->Picture()->SetImage(std::move(image));
}

void QtPlatform::SetPicture(const PictureSpec& picture) {
    if (window_)
        window_->Picture()->Apply(picture);
}

void QtPlatform::SetPictureVisible(bool visible) {
    if (window_)
        window_->Picture()->setVisible(visible);
}

void QtPlatform::ShowWindow() {
    if (!window_ || window_->isVisible())
        return;
    TakeFrameExtents();
    const auto id = static_cast<std::uint32_t>(window_->winId());
    // Qt keeps states already on the window when it sets its own.
    x11::AddStateBeforeMapping(id, "_NET_WM_STATE_SKIP_TASKBAR");
    x11::StickToAllDesktopsBeforeMapping(id);
    window_->show();

    // Wait until the window manager has mapped the window and it has been
    // painted, so that a tone that follows does not freeze a blank window.
    // Its claim tells the other notifications where it stands meanwhile.
    // Clicks wait in the queue; a close request is kept for later.
    window_->HoldEvents(true);
    const auto deadline = std::chrono::steady_clock::now() + kMapWait;
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(kMapWait);
    // Where the claim waits for the real frame, the window manager must have
    // taken the window in too, and tells no event of it: looked for often.
    const bool untilListed = releaseWhenShown_;
    while (window_->windowHandle() &&
           (!window_->windowHandle()->isExposed() ||
            (untilListed && !x11::ListedByWindowManager(id))) &&
           std::chrono::steady_clock::now() < deadline) {
        if (untilListed) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } else {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
        }
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    window_->HoldEvents(false);
    // Window managers that choose the desktop of a window they map (KWin)
    // take it from a request after the mapping.
    x11::StickToAllDesktopsAfterMapping(id);
    x11::KeepUnshaded(id);

    // A window manager that did not answer the request before mapping has
    // set the extents now; the outer frame must still match the settings.
    if (haveRect_) {
        auto extents = x11::ReadFrameExtents(id);
        if (extents && !(*extents == extents_)) {
            extents_ = *extents;
            ApplyGeometry(false);
        }
    }

    if (releaseWhenShown_) {
        if (const auto frame = x11::OuterFrame(id)) {
            claim_.frame = *frame;
            x11::SetClaim(id, claim_, claimedPlace_);
        }
        releaseWhenShown_ = false;
        ReleasePlacementLock();
    }

    x11::StopHearingRootProperties(id);

    // Screen readers announce it without the window taking the focus.
    window_->Announce();
}

void QtPlatform::HideWindow() {
    if (window_)
        window_->hide();
}

void QtPlatform::DestroyWindow() {
    if (!window_)
        return;
    lastPosition_ = WindowPosition();
    window_->Detach();
    events_ = nullptr;
    if (displayLost_) {
        // The process is ending; the widget cannot be unmapped any more.
        window_ = nullptr;
        return;
    }
    // The others may take its place at once.
    if (claimed_)
        x11::DropClaim(static_cast<std::uint32_t>(window_->winId()));
    claimed_ = false;
    // A message box open now waits for nobody: the notification is over.
    if (openBox_ && !failing_)
        openBox_->done(0);
    window_->hide();
    window_->deleteLater();
    window_ = nullptr;
    if (loop_)
        loop_->quit();
    attention_.StopWaiting();
}

PixelPoint QtPlatform::WindowPosition() {
    if (!window_)
        return lastPosition_;
    // The frame's corner lies the extents above and left of the client area.
    // Where that area is, the X server says (moves by the user included);
    // Qt's own idea of it is off by the caption's height under some window
    // managers (IceWM), and is all there is once the display has gone.
    QPoint client = window_->geometry().topLeft();
    x11::FrameExtents extents = extents_;
    if (!displayLost_ && window_->testAttribute(Qt::WA_WState_Created)) {
        const auto id = static_cast<std::uint32_t>(window_->winId());
        if (auto origin = x11::RootPosition(id))
            client = QPoint(origin->first, origin->second);
        if (auto current = x11::ReadFrameExtents(id))
            extents = *current;
    }
    return PixelPoint{client.x() - extents.left, client.y() - extents.top};
}

int QtPlatform::SetTopMost(bool onTop) {
    if (!window_)
        return 0;
    const auto id = static_cast<std::uint32_t>(window_->winId());
    topMost_ = onTop;
    // Not mapped yet: the window manager reads the state when it maps it.
    if (onTop && !x11::IsMapped(id))
        x11::AddStateBeforeMapping(id, "_NET_WM_STATE_ABOVE");
    const bool sent = x11::ChangeMappedState(id, onTop, "_NET_WM_STATE_ABOVE");
    return onTop && sent ? 1 : 0;
}

// --- several notifications at once --------------------------------------------------

bool QtPlatform::TakePlacementLock(int milliseconds) {
    ReleasePlacementLock();
    // One lock for all of the user's notifications on this machine, of any
    // folder, portable or installed: in the user's own lock folder, never
    // beside a program. Without that folder the window shows unlocked.
    if (placementFolder_.empty()) {
        try {
            placementFolder_ = posix::UserLockFolder();
        } catch (const Failure&) {
            return false;
        }
    }
    placementLock_ = posix::WaitForFileLock(placementFolder_ + "/place.lock", milliseconds);
    return placementLock_ >= 0;
}

void QtPlatform::ReleasePlacementLock() {
    // A claim made without knowing the frame the window manager will give
    // the window would mislead the next notification: the lock is kept
    // until the window is shown and the claim is the real frame.
    if (placementLock_ >= 0 && claimed_ && !frameKnown_ && window_ && !window_->isVisible()) {
        releaseWhenShown_ = true;
        return;
    }
    releaseWhenShown_ = false;
    if (placementLock_ >= 0)
        ::close(placementLock_);
    placementLock_ = -1;
}

std::vector<NotificationPlace> QtPlatform::OtherNotificationPlaces() {
    if (!window_)
        return {};
    std::vector<NotificationPlace> places;
    for (const x11::OtherNotification& other :
         x11::OtherNotifications(static_cast<std::uint32_t>(window_->winId())))
        places.push_back(other.place);
    return places;
}

void QtPlatform::ClaimPlace(const NotificationPlace& place,
                            PixelPoint placed,
                            const std::string& kind) {
    if (!window_)
        return;
    x11::ClaimPlace(static_cast<std::uint32_t>(window_->winId()), place, placed, kind);
    claimed_ = true;
    claim_ = place;
    claimedPlace_ = placed;
}

std::vector<std::pair<PixelRect, PixelPoint>> QtPlatform::ReplaceNotifications(
    const std::string& kind) {
    if (!window_)
        return {};
    std::vector<std::pair<PixelRect, PixelPoint>> replaced;
    for (const x11::OtherNotification& other :
         x11::OtherNotifications(static_cast<std::uint32_t>(window_->winId()))) {
        if (other.kind != kind)
            continue;
        x11::AskToEndAsReplaced(other.window);
        replaced.emplace_back(other.place.frame, other.placed);
    }
    return replaced;
}

int QtPlatform::CaptionHeight() {
    if (!window_)
        return 0;
    TakeFrameExtents();
    return extents_.top;
}

int QtPlatform::LabelFirstLineBottom() {
    return window_ ? window_->Label()->FirstLineBottom() : 0;
}

void QtPlatform::PaintAhead() {
    if (!window_)
        return;
    // The fonts are loaded, the text is laid out and the picture is scaled
    // into the picture box's cache; the paint at the map then only copies.
    QImage image(window_->size(), QImage::Format_RGB32);
    window_->render(&image);
}

// --- the user's attention -----------------------------------------------------------

bool QtPlatform::UserAcceptsNotifications(const PixelRect& where) {
    return attention_.Accepts(where);
}

void QtPlatform::WaitForAttentionChange(int milliseconds) {
    attention_.WaitForChange(milliseconds);
}

std::int64_t QtPlatform::UserIdleMilliseconds() {
    return attention_.IdleMilliseconds();
}

// --- event loop ------------------------------------------------------------------

void QtPlatform::Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void QtPlatform::ProcessPendingEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtPlatform::RunUntilClosed() {
    // A click held back while the window was being shown is handled first:
    // the loop below would look at it only after the next event from the X
    // server, which may be long in coming (the window takes no focus).
    ProcessPendingEvents();
    if (!window_)
        return;
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
}

bool QtPlatform::RequestClose() {
    if (!window_ || failing_)
        return false;
    window_->RequestClose();
    return true;
}

void QtPlatform::CloseDownWithoutDisplay() {
    if (!window_ || !events_)
        return;
    displayLost_ = true;
    // The same close-down as the close box: the lock goes, the position is
    // written. Window calls below stay away from the dead connection.
    events_->OnCloseRequest();
}

// --- sound -------------------------------------------------------------------------

canberra::Sound& QtPlatform::TheSound() {
    // Made on first use: an instance that ends at the lock never needs it.
    if (!sound_)
        sound_ = std::make_unique<canberra::Sound>();
    return *sound_;
}

void QtPlatform::Tone(std::int32_t hertz, int milliseconds) {
    TheSound().Tone(hertz, milliseconds);
}

void QtPlatform::StartWav(const std::string& path) {
    TheSound().StartWav(posix::NativePath(path));
}

// --- programs and messages ----------------------------------------------------------

void QtPlatform::StartProgram(const std::string& path) {
    posix::SpawnProgram(posix::NativePath(path));
}

void QtPlatform::ShowModalText(const std::string& text) {
    if (displayLost_) {
        posix::PrintErrorLine(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kAppTitle),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    // A plain "OK", without the icon some styles put on dialog buttons.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setIcon(QIcon());
    // Above a top-most notification, as a box owned by it would be.
    if (topMost_)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    QMessageBox* outer = openBox_;
    openBox_ = &box;
    box.exec();
    openBox_ = outer;
}

void QtPlatform::ShowMessage(const std::string& text) {
    posix::ReleaseCaller(0);
    ShowModalText(text);
}

// --- clock ------------------------------------------------------------------------

std::string QtPlatform::DateText() {
    return posix::LocaleDateText(std::time(nullptr));
}

std::string QtPlatform::TimeText() {
    return posix::LocaleTimeText(std::time(nullptr));
}

// --- unexpected failures ----------------------------------------------------------

void QtPlatform::ShowFailure(const std::string& text) {
    failing_ = true;
    // The program that started the notification (a mail filter, a script)
    // sees what went wrong too, on one line of standard error, even when
    // nobody is at the screen to read the box. With the display gone, the
    // box itself is that line.
    if (!displayLost_)
        posix::PrintErrorLine(text);
    posix::ReleaseCaller(1);
    ShowModalText(text);
}

void QtPlatform::ExitProcess(int status) {
    posix::ReleaseCaller(status);
    std::fflush(nullptr);
    ::_exit(status);
}

}  // namespace zb::qt
