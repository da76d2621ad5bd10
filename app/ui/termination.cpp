#include "termination.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ui {

namespace {

// One pipe for the whole process, made at the first call; the signal handler writes to
// it and the GUI thread reads it.
int signal_pipe[2] = {-1, -1};
QPointer<QSocketNotifier> notifier; // goes away with its window

// Only an async-signal-safe write here; the GUI thread does the rest.
void on_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signal_pipe[1], &byte, 1);
}

} // namespace

void close_on_termination(QWidget* window) {
    if (signal_pipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe) != 0) return;
        ::fcntl(signal_pipe[1], F_SETFL, O_NONBLOCK);
    }
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    delete notifier; // a window set up earlier no longer hears the signals
    notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char buf[16];
        [[maybe_unused]] const ssize_t n = ::read(signal_pipe[0], buf, sizeof buf);
        window->close();
    });
}

} // namespace ui
