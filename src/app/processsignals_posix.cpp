#include "processsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handlers may only do what is safe in a signal handler: the first
// request writes one byte, which wakes the event loop through a socket
// notifier, and sets an alarm for the case that the loop never wakes.
int wakeRead = -1;
int wakeWrite = -1;
volatile sig_atomic_t firstRequest = 0; // the signal of the first request

extern "C" void onTerminationSignal(int signal)
{
    const int savedErrno = errno;
    if (firstRequest == 0) {
        firstRequest = signal;
        ::alarm(orderlyEndSeconds);
    }
    const char byte = 1;
    // Non-blocking: a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
    errno = savedErrno;
}

// The orderly end did not come in time: end the way the request itself
// ended the program before it was handled.
extern "C" void onOrderlyEndOverdue(int)
{
    const int signal = firstRequest;
    ::signal(signal, SIG_DFL);
    ::kill(::getpid(), signal);
    ::_exit(128 + signal); // only if the signal could not end it
}

void handle(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

void keepStandardStreamsOpen()
{
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        // open() takes the lowest free number: this one, the lower ones being open.
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", O_RDWR);
    }
}

void keepRunningOnBrokenPipe()
{
    ::signal(SIGPIPE, SIG_IGN);
}

void catchTerminationRequests()
{
    int fds[2];
    if (wakeRead >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    wakeRead = fds[0];
    wakeWrite = fds[1];
    handle(SIGALRM, onOrderlyEndOverdue);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction previous = {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        handle(signal, onTerminationSignal);
    }
}

void quitOnTerminationRequest(QCoreApplication &application)
{
    if (wakeRead < 0)
        return;
    // A request caught before this call waits in the pipe and is served as
    // soon as the event loop runs.
    auto *notifier = new QSocketNotifier(wakeRead, QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char bytes[64];
        while (::read(wakeRead, bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });
}
