#include "platform/posix/Caller.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace zb::posix {
namespace {

// The notification's end of the link to the caller's process; -1 when the run
// was not split or the caller has been released.
int gCallerLink = -1;
// In the caller's process: the notification's process, for passing signals
// on, and a signal that came before it was known.
volatile sig_atomic_t gNotificationPid = 0;
volatile sig_atomic_t gPendingSignal = 0;

constexpr int kPassedSignals[] = {SIGTERM, SIGHUP, SIGINT};

void PassSignalOn(int signal) {
    const int saved = errno;
    if (gNotificationPid > 0)
        ::kill(static_cast<pid_t>(gNotificationPid), signal);
    else
        gPendingSignal = signal;
    errno = saved;
}

// Reads exactly `size` bytes; false at the end of the stream first.
bool ReadAll(int fd, void* buffer, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// A send that neither blocks on nor dies of a caller that has gone.
void Send(const void* data, std::size_t size) {
    while (::send(gCallerLink, data, size, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

void SetPassedSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int signal : kPassedSignals)
        ::sigaction(signal, &action, nullptr);
}

// The caller's process from the split on: pass signals on, wait for the
// status, end with it.
[[noreturn]] void WaitForOutcome(int link, pid_t middle) {
    pid_t notification = 0;
    if (ReadAll(link, &notification, sizeof notification)) {
        gNotificationPid = notification;
        if (gPendingSignal != 0)
            ::kill(notification, gPendingSignal);
    }
    unsigned char status = 1;
    if (!ReadAll(link, &status, 1))
        status = 1;
    // The middle process has ended right after its fork; reaped here, it
    // leaves no zombie behind. (Where it runs the notification itself, it is
    // left alone.)
    if (notification != middle)
        while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
    ::_exit(status);
}

// Closes every file the caller left open to this process (beyond standard
// input, output and error, which ReleaseCaller turns to /dev/null) but the
// link: a caller that reads a pipe to its end (a shell's pipeline, a mail
// client's filter) would otherwise wait for the notification.
void CloseInheritedFiles() {
    // Above the standard three, whatever the caller had closed.
    if (gCallerLink < 3) {
        const int moved = ::fcntl(gCallerLink, F_DUPFD_CLOEXEC, 3);
        ::close(gCallerLink);
        gCallerLink = moved;
    }
    const auto link = static_cast<unsigned int>(gCallerLink);
    const bool closed = (link == 3 || ::close_range(3, link - 1, 0) == 0) &&
                        ::close_range(link + 1, ~0U, 0) == 0;
    if (!closed) {
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != gCallerLink)
                ::close(fd);
        }
    }
}

}  // namespace

void SplitFromCaller() {
    int link[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, link) != 0)
        return;
    std::fflush(nullptr);
    // Passed on from before the fork, so that none reaches this process in
    // between and ends it without the notification.
    SetPassedSignals(PassSignalOn);
    const pid_t middle = ::fork();
    if (middle < 0) {
        SetPassedSignals(SIG_DFL);
        ::close(link[0]);
        ::close(link[1]);
        return;
    }
    if (middle > 0) {
        ::close(link[1]);
        WaitForOutcome(link[0], middle);
    }
    SetPassedSignals(SIG_DFL);
    // A session of its own: no terminal's hang-up or interrupt reaches the
    // notification, and the caller's process group can end without it.
    ::close(link[0]);
    ::setsid();
    const pid_t notification = ::fork();
    if (notification > 0)
        ::_exit(0);
    // Without a second process, the middle one runs the notification: still
    // apart from the caller, though its child.
    gCallerLink = link[1];
    CloseInheritedFiles();
    const pid_t self = ::getpid();
    Send(&self, sizeof self);
}

void ReleaseCaller(int status) {
    if (gCallerLink < 0)
        return;
    std::fflush(nullptr);
    const unsigned char byte = static_cast<unsigned char>(status);
    Send(&byte, 1);
    ::close(gCallerLink);
    gCallerLink = -1;
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        for (int fd = 0; fd <= 2; ++fd)
            ::dup2(null, fd);
        if (null > 2)
            ::close(null);
    }
}

}  // namespace zb::posix
