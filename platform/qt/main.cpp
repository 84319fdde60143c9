// The Linux entry point: answers --help and --version, checks the X display,
// lets a caller that does not wait go on apart from the notification, keeps
// session services from being started, sets up the toolkit and the
// locale, turns termination signals and the loss of the display into the
// close-down of the close box, and runs the notification on the Qt backend.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "app/App.h"
#include "platform/posix/Caller.h"
#include "platform/posix/Process.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/X11.h"

namespace zb {
namespace {

constexpr const char* kUsage =
    "Usage: zettelblick [/config:NAME] [/text:KEY] [/place:WORD]\n"
    "       zettelblick --help | --version\n"
    "\n"
    "Shows a small notification window with a picture and a message, sounds a\n"
    "tone and a WAV file, and closes when it is clicked (starting program.path\n"
    "first) or after window.time milliseconds. The same notification is never\n"
    "shown twice at a time.\n"
    "\n"
    "  /config:NAME  read the settings from NAME.ini (default zettelblick)\n"
    "  /text:KEY     show the message stored under KEY in section [text]\n"
    "                (default Text1)\n"
    "  /place:WORD   put WORD where the message says \\place; write a blank as _\n"
    "  --help        show this text and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Settings, lock files, folders and exit statuses: man zettelblick\n";

// --help and --version, each only as the one argument: the answer on standard
// output, and the exit status (1 when it could not be written). Nothing for
// every other command line, which is the notification's.
std::optional<int> AnswerInformationRequest(int argc, char** argv) {
    if (argc != 2)
        return std::nullopt;
    if (std::strcmp(argv[1], "--help") == 0)
        std::fputs(kUsage, stdout);
    else if (std::strcmp(argv[1], "--version") == 0)
        std::fputs("zettelblick " ZB_VERSION "\n", stdout);
    else
        return std::nullopt;
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

// The toolkit's own messages are not the program's: they are dropped, or with
// ZB_DEBUG set shown on standard error. A fatal one is the program's end, and
// is reported as its line.
void OnToolkitMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg)
        posix::PrintErrorLine(message.toStdString());
    else if (std::getenv("ZB_DEBUG"))
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// The line for a display that cannot be opened: what DISPLAY says, and
// whether this looks like a Wayland session without XWayland.
std::string NoDisplayLine() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool waylandSet = wayland && *wayland;
    if (!display || !*display) {
        return std::string("cannot open the X display: DISPLAY is not set") +
               (waylandSet ? " (WAYLAND_DISPLAY is set: under Wayland this program needs "
                             "XWayland, which sets DISPLAY)"
                           : " (from cron, procmail or a service, set DISPLAY and XAUTHORITY)");
    }
    std::string line = std::string("cannot open the X display \"") + display +
                       "\": it is not running, or this user may not use it (XAUTHORITY";
    if (const char* authority = std::getenv("XAUTHORITY"); authority && *authority)
        line += std::string(" is \"") + authority + "\")";
    else
        line += " is not set)";
    if (waylandSet)
        line += "; under Wayland this program needs XWayland";
    return line;
}

constexpr int kTerminationSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The self-pipe that turns SIGTERM, SIGHUP and SIGINT into an event.
int gSignalPipe[2] = {-1, -1};

void OnSignal(int signal) {
    int savedErrno = errno;
    unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t written = ::write(gSignalPipe[1], &byte, 1);
    errno = savedErrno;
}

// While it exists, SIGTERM, SIGHUP and SIGINT close the notification as its
// close box does, from the toolkit's event loop. With nothing left to close
// down, the process ends as the signal asks.
class TerminationSignals {
public:
    explicit TerminationSignals(qt::QtPlatform& platform) : platform_(platform) {
        if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        notifier_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [this] { OnSignalEvent(); });
        struct sigaction action {};
        action.sa_handler = OnSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (int signal : kTerminationSignals)
            ::sigaction(signal, &action, nullptr);
    }
    ~TerminationSignals() {
        if (notifier_) {
            for (int signal : kTerminationSignals)
                ::signal(signal, SIG_DFL);
        }
    }
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void OnSignalEvent() {
        unsigned char buffer[64];
        ssize_t length;
        int signal = SIGTERM;
        while ((length = ::read(gSignalPipe[0], buffer, sizeof buffer)) > 0)
            signal = buffer[length - 1];
        if (platform_.RequestClose())
            return;
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }

    qt::QtPlatform& platform_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The platform while the notification runs, for the exit handler.
qt::QtPlatform* gLivePlatform = nullptr;

// Qt ends the process with exit() when the X connection breaks (the session
// has ended); the notification then closes down as its close box does. The
// normal end returns from Run after the window is gone.
void CloseDownAfterLostDisplay() {
    if (gLivePlatform && qt::x11::ConnectionBroken())
        gLivePlatform->CloseDownWithoutDisplay();
}

int Run(int argc, char** argv) {
    // A caller that has stopped reading (a pipe's reader gone) must not end
    // the run on the first line written to it: the write fails instead, and
    // the failure's box still shows. Started programs get the default back.
    ::signal(SIGPIPE, SIG_IGN);
    if (const std::optional<int> status = AnswerInformationRequest(argc, argv))
        return *status;

    // Taken before the toolkit sees the arguments; Qt gets none of them, so a
    // word like "-style" on our command line stays ours.
    const std::string commandLine = posix::JoinArguments(argc, argv);

    // Qt aborts when it cannot open the display; say so plainly instead,
    // before anything (the lock file) has been touched. The exit status is 1.
    if (!qt::x11::DisplayAvailable()) {
        posix::PrintErrorLine(NoDisplayLine());
        return 1;
    }

    // A caller that does not wait for the notification's end (window.wait)
    // gets its outcome from a process split off before the toolkit starts.
    {
        qt::QtPlatform files(commandLine);
        if (!CallerWaitsForRun(files))
            posix::SplitFromCaller();
    }

    // Outside a desktop session (a mail filter's daemon, cron) no bus or sound
    // server may be started for this run and outlive it; a program started by
    // the notification still gets the user's own environment.
    posix::KeepProgramEnvironment();
    posix::AvoidStartingSessionServices();
    qInstallMessageHandler(OnToolkitMessage);

    std::setlocale(LC_ALL, "");

    char program[] = "zettelblick";
    char platformOption[] = "-platform";
    char platformName[] = "xcb";
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : program, platformOption, platformName,
                      nullptr};
    int qtArgc = 3;

    // The toolkit's settings, made in this process's environment only: the
    // programs the notification starts get the one kept above.
    // Positions and sizes are device pixels computed from the screen's real
    // DPI, so Qt must not scale them a second time.
    ::setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    ::unsetenv("QT_SCALE_FACTOR");
    ::unsetenv("QT_SCREEN_SCALE_FACTORS");
    ::unsetenv("QT_AUTO_SCREEN_SCALE_FACTOR");
    // Qt's own event dispatcher rather than GLib's: under GLib's an X event
    // may wait in Qt's queue until the next one arrives, and a click on the
    // notification, which takes no focus, is often the last event for a long
    // time.
    ::setenv("QT_NO_GLIB", "1", 1);
    QApplication application(qtArgc, qtArgv);
    // Qt sets the whole locale from the environment too; numbers stay in the
    // C format so that settings read and write the same everywhere.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setQuitOnLastWindowClosed(false);

    // Started programs are reaped as they end, so that none stays a zombie.
    posix::InstallChildReaper();
    std::atexit(CloseDownAfterLostDisplay);

    int status;
    {
        qt::QtPlatform platform(commandLine);
        gLivePlatform = &platform;
        TerminationSignals closeOnSignals(platform);
        App app(platform);
        status = app.Run();
        gLivePlatform = nullptr;
    }
    posix::ReleaseCaller(status);
    return status;
}

}  // namespace
}  // namespace zb

int main(int argc, char** argv) {
    return zb::Run(argc, argv);
}
