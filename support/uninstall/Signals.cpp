// Termination signals held by the signal mask; a pending signal is read with sigpending.
#include "Signals.h"

#include <csignal>
#include <pthread.h>

namespace tolvane::uninstall {

namespace {

sigset_t terminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void holdTerminationSignals()
{
    const sigset_t set = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::optional<int> arrivedTerminationSignal()
{
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0)
        return std::nullopt;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        if (sigismember(&pending, signal) == 1)
            return signal;
    }
    return std::nullopt;
}

void releaseTerminationSignalsInChild()
{
    const sigset_t set = terminationSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

} // namespace tolvane::uninstall
