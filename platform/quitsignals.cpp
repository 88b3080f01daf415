#include "quitsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {
int g_pipe[2] = {-1, -1};

void onSignal(int)
{
    // Only async-signal-safe work here: the event loop does the rest.
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
}
} // namespace

bool quitOnTerminateSignals()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || g_pipe[0] >= 0)
        return false;
    if (::pipe(g_pipe) != 0)
        return false;
    for (int fd : g_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char buffer[16];
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (int sig : {SIGTERM, SIGHUP, SIGINT})
        ok = ::sigaction(sig, &action, nullptr) == 0 && ok;
    return ok;
}

} // namespace platform
