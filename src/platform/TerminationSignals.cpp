// A signal is written to a pipe by the handler and read on the main loop, where quitting is safe.
#include "platform/TerminationSignals.h"

#include "platform/Pipe.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <unistd.h>

namespace tolvane {

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

void quitOnTerminationSignals()
{
    // Made before any command starts, so no child inherits the pipe. A full pipe drops the signal
    // instead of blocking its handler; the reader drains it without waiting.
    if (!makePipe(g_signalPipe, PipeReads::NonBlocking))
        return;
    auto* notifier =
        new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

} // namespace tolvane
