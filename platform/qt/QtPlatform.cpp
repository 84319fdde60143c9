#include "platform/qt/QtPlatform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/Failure.h"
#include "platform/posix/FileIo.h"
#include "platform/qt/QtWindow.h"
#include "platform/qt/Sound.h"
#include "settings/Profile.h"

namespace zb::qt {
namespace {

// Larger pictures are decoded scaled down to this many pixels per side: the
// picture box is never that big, and memory stays bounded.
constexpr int kMaxDecodedSide = 2048;
// Enough for a 10000 by 10000 picture in formats that cannot decode scaled.
constexpr int kImageAllocationLimitMb = 512;
// How long ShowWindow waits for the window manager to map the window.
constexpr auto kMapWait = std::chrono::milliseconds(2000);

// The self-pipe that turns SIGTERM, SIGHUP and SIGINT into an event.
int gSignalPipe[2] = {-1, -1};

void OnSignal(int signal) {
    int savedErrno = errno;
    unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t written = ::write(gSignalPipe[1], &byte, 1);
    errno = savedErrno;
}

// Qt's JPEG reader fills a truncated file with grey and only warns; the
// warning is the one sign that the picture is incomplete. The decoders'
// messages are not shown: the failure report says what went wrong.
bool gDecodeTruncated = false;

void WatchDecodeMessages(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (text.contains(QStringLiteral("premature end"), Qt::CaseInsensitive))
        gDecodeTruncated = true;
}

// The platform while it exists, for the atexit handler.
QtPlatform* gLivePlatform = nullptr;

}  // namespace

QtPlatform::QtPlatform(std::string commandLine) : commandLine_(std::move(commandLine)) {
    InstallChildReaper();
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(CloseDownAfterLostDisplay);
    }
    gLivePlatform = this;
}

void QtPlatform::CloseDownAfterLostDisplay() {
    QtPlatform* self = gLivePlatform;
    // Only a lost display ends the process by exit() while the window is
    // open; the normal end returns from RunQtApp after the window is gone.
    if (!self || !self->window_ || !self->events_ || !x11::ConnectionBroken())
        return;
    self->displayLost_ = true;
    // The same close-down as the close box: the lock goes, the position is
    // written. Window calls below stay away from the dead connection.
    self->events_->OnCloseRequest();
}

QtPlatform::~QtPlatform() {
    gLivePlatform = nullptr;
    if (signalNotifier_) {
        for (int signal : {SIGTERM, SIGHUP, SIGINT})
            ::signal(signal, SIG_DFL);
    }
    delete window_;
    // Windows the logic destroyed are still waiting for deleteLater().
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// --- process ------------------------------------------------------------------

std::string QtPlatform::CommandLineText() {
    return commandLine_;
}

std::string QtPlatform::ExecutableDir() {
    return ExecutableDirectory();
}

// --- files ----------------------------------------------------------------------

bool QtPlatform::FileExists(const std::string& name) {
    return FindRegularFile(NativePath(name));
}

CreateResult QtPlatform::CreateNewFile(const std::string& path) {
    return ownFiles_.Create(NativePath(path));
}

bool QtPlatform::DeleteOwnFile(const std::string& path) {
    return ownFiles_.Delete(NativePath(path));
}

// --- profile ----------------------------------------------------------------------

std::uint32_t QtPlatform::ProfileInt(const std::string& section,
                                     const std::string& key,
                                     std::int32_t def,
                                     const std::string& file) {
    return profile::GetInt(profileReader_.Read(NativePath(file)), section, key, def);
}

std::string QtPlatform::ProfileString(const std::string& section,
                                      const std::string& key,
                                      const std::string& def,
                                      int size,
                                      const std::string& file) {
    return profile::GetString(profileReader_.Read(NativePath(file)), section, key, def, size);
}

bool QtPlatform::WriteProfileString(const std::string& section,
                                    const std::string& key,
                                    const std::string& value,
                                    const std::string& file) {
    // A line break in a name or value would split the line and add keys.
    if (!profile::IsWritable(section, key, value))
        return false;
    const std::string path = NativePath(file);
    std::optional<std::string> content = posix::ReadRegularFile(path);
    // A file that is there but cannot be read must not be replaced by one
    // that holds only this key.
    struct stat st;
    if (!content && ::stat(path.c_str(), &st) == 0)
        return false;
    return posix::ReplaceFileAtomically(path, profile::WriteString(content, section, key, value));
}

// --- window -------------------------------------------------------------------------

void QtPlatform::CreateMainWindow(WindowEvents& events, const WindowDesign& design) {
    if (window_)
        return;
    window_ = new NotifierWindow(events);
    events_ = &events;
    window_->setWindowTitle(QString::fromStdString(design.caption));
    window_->resize(design.innerWidth, design.innerHeight);
    SetWindowBackground(design.background);
    window_->Label()->Apply(design.label);
    window_->Picture()->Apply(design.picture);

    WatchTerminationSignals();
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
    outer_ = outer;
    haveRect_ = true;
    if (window_)
        ApplyGeometry(true);
}

void QtPlatform::ApplyGeometry(bool askWindowManager) {
    const auto id = static_cast<std::uint32_t>(window_->winId());
    if (askWindowManager) {
        // Fixed size first: the window manager sizes its frame by that (a
        // resizable window gets a resize handle), and its answer must match
        // the frame the window will really have.
        window_->setFixedSize(std::max(1, outer_.width), std::max(1, outer_.height));
        // Known before mapping, so the window appears at once where it belongs.
        extents_ = x11::RequestFrameExtents(id).value_or(x11::FrameExtents{});
    }
    const int width = std::max(1, outer_.width - extents_.left - extents_.right);
    const int height = std::max(1, outer_.height - extents_.top - extents_.bottom);
    // Fixed size: neither the user nor the window manager resizes it.
    window_->setFixedSize(width, height);
    // The client area's position; Qt asks the window manager to keep it
    // there (static gravity), so the frame lands at outer_'s corner.
    window_->setGeometry(outer_.left + extents_.left, outer_.top + extents_.top, width, height);
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
    const std::string native = NativePath(path);
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            throw MakeFailure(kErrFileNotFound, native);
        throw MakeFailure(kErrPathFileAccess, native + ": " + std::strerror(error));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw MakeFailure(kErrPathFileAccess, native);
    }
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);

    QImageReader::setAllocationLimit(kImageAllocationLimitMb);
    QImageReader reader(&file);
    // The contents decide, as the classic picture loader did, not the name.
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (!reader.canRead())
        throw MakeFailure(kErrInvalidPicture, native);
    const QSize size = reader.size();
    if (size.width() > kMaxDecodedSide || size.height() > kMaxDecodedSide) {
        QSize scaled = size.scaled(kMaxDecodedSide, kMaxDecodedSide, Qt::KeepAspectRatio);
        reader.setScaledSize(scaled.expandedTo(QSize(1, 1)));
    }

    gDecodeTruncated = false;
    QtMessageHandler previousHandler = qInstallMessageHandler(WatchDecodeMessages);
    QImage image = reader.read();
    qInstallMessageHandler(previousHandler);
    if (image.isNull() || gDecodeTruncated)
        throw MakeFailure(kErrInvalidPicture, native);

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
    const auto id = static_cast<std::uint32_t>(window_->winId());
    // Qt keeps states already on the window when it sets its own.
    x11::AddStateBeforeMapping(id, "_NET_WM_STATE_SKIP_TASKBAR");
    window_->show();

    // Wait until the window manager has mapped the window and it has been
    // painted, so that a tone that follows does not freeze a blank window.
    // Clicks wait in the queue; a close request is kept for later.
    window_->HoldEvents(true);
    const auto deadline = std::chrono::steady_clock::now() + kMapWait;
    while (window_->windowHandle() && !window_->windowHandle()->isExposed() &&
           std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    window_->HoldEvents(false);

    // A window manager that did not answer the request before mapping has
    // set the extents now; the outer frame must still match the settings.
    if (haveRect_) {
        auto extents = x11::ReadFrameExtents(id);
        if (extents && !(*extents == extents_)) {
            extents_ = *extents;
            ApplyGeometry(false);
        }
    }
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
    window_->hide();
    window_->deleteLater();
    window_ = nullptr;
    if (loop_)
        loop_->quit();
}

PixelPoint QtPlatform::WindowPosition() {
    if (!window_)
        return lastPosition_;
    // Qt follows the client area (moves by the user included); the frame's
    // corner lies the extents above and left of it.
    const QPoint client = window_->geometry().topLeft();
    x11::FrameExtents extents = extents_;
    if (!displayLost_ && window_->testAttribute(Qt::WA_WState_Created)) {
        if (auto current = x11::ReadFrameExtents(static_cast<std::uint32_t>(window_->winId())))
            extents = *current;
    }
    return PixelPoint{client.x() - extents.left, client.y() - extents.top};
}

int QtPlatform::SetTopMost(bool onTop) {
    if (!window_)
        return 0;
    const auto id = static_cast<std::uint32_t>(window_->winId());
    topMost_ = onTop;
    bool sent;
    if (x11::IsMapped(id)) {
        sent = x11::ChangeMappedState(id, onTop, "_NET_WM_STATE_ABOVE");
    } else {
        // Not mapped yet: the window manager reads the state when it maps it.
        if (onTop)
            x11::AddStateBeforeMapping(id, "_NET_WM_STATE_ABOVE");
        sent = x11::ChangeMappedState(id, onTop, "_NET_WM_STATE_ABOVE");
    }
    return onTop && sent ? 1 : 0;
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
    if (!window_)
        return;
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
}

void QtPlatform::WatchTerminationSignals() {
    if (signalNotifier_ || ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signalNotifier_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, signalNotifier_.get(),
                     [this] { OnTerminationSignal(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

void QtPlatform::OnTerminationSignal() {
    unsigned char buffer[64];
    ssize_t length;
    int signal = SIGTERM;
    while ((length = ::read(gSignalPipe[0], buffer, sizeof buffer)) > 0)
        signal = buffer[length - 1];
    // Closes like the close box, so that the lock goes and the position is
    // kept.
    if (window_ && !failing_) {
        window_->RequestClose();
        return;
    }
    // Nothing left to close down (the window is gone, or a failure report is
    // up and the lock already removed): end as the signal asks.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// --- sound -------------------------------------------------------------------------

Sound& QtPlatform::TheSound() {
    // Made on first use: an instance that ends at the lock never needs it.
    if (!sound_)
        sound_ = std::make_unique<Sound>();
    return *sound_;
}

void QtPlatform::Tone(std::int32_t hertz, int milliseconds) {
    TheSound().Tone(hertz, milliseconds);
}

void QtPlatform::StartWav(const std::string& path) {
    TheSound().StartWav(NativePath(path));
}

// --- programs and messages ----------------------------------------------------------

void QtPlatform::StartProgram(const std::string& path) {
    SpawnProgram(NativePath(path));
}

void QtPlatform::ShowModalText(const std::string& text) {
    if (displayLost_) {
        std::fprintf(stderr, "zettelblick: %s\n", text.c_str());
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Zettelblick"),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    // A plain "OK", without the icon some styles put on dialog buttons.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setIcon(QIcon());
    // Above a top-most notification, as a box owned by it would be.
    if (topMost_)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

void QtPlatform::ShowMessage(const std::string& text) {
    ShowModalText(text);
}

// --- clock ------------------------------------------------------------------------

std::string QtPlatform::DateText() {
    return LocaleDateText(std::time(nullptr));
}

std::string QtPlatform::TimeText() {
    return LocaleTimeText(std::time(nullptr));
}

// --- unexpected failures ----------------------------------------------------------

void QtPlatform::ShowFailure(const std::string& text) {
    failing_ = true;
    // The program that started the notification (a mail filter, a script)
    // sees what went wrong too, on one line of standard error, even when
    // nobody is at the screen to read the box. With the display gone, the
    // box itself is that line.
    if (!displayLost_) {
        std::string line;
        for (char c : text) {
            if (c == '\r' || c == '\n') {
                if (!line.empty() && line.back() != ' ')
                    line += ' ';
            } else {
                line += c;
            }
        }
        std::fprintf(stderr, "zettelblick: %s\n", line.c_str());
        std::fflush(stderr);
    }
    ShowModalText(text);
}

void QtPlatform::ExitProcess(int status) {
    std::fflush(nullptr);
    ::_exit(status);
}

}  // namespace zb::qt
