#include "app/close_on_signal.h"

#include <QWidget>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#endif

namespace vorkel {

#if defined(Q_OS_UNIX)
namespace {

int signalPipeWriteEnd = -1;

extern "C" void onTerminationSignal(int signal) {
    // Only async-signal-safe work here: one byte into the pipe that the event loop watches.
    const int savedErrno = errno;
    const auto byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipeWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

void closeOnTerminationSignals(QWidget& window) {
    int ends[2];
    if (signalPipeWriteEnd >= 0 || ::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        return; // without the pipe the signals keep their default action
    }
    signalPipeWriteEnd = ends[1];
    auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [readEnd = ends[0], &window] {
        char bytes[16];
        while (::read(readEnd, bytes, sizeof bytes) > 0) {
        }
        window.close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}
#else
void closeOnTerminationSignals(QWidget&) {} // Windows ends a program by closing its window
#endif

} // namespace vorkel
