// The stopwatch host.
#include "BenchHost.h"

#include <time.h>

namespace tolvane::bench {

std::int64_t monotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

CommandKind commandKind(const QString& commandLine)
{
    // The controller gives the shell "<executable> <word>" for the server, anything else is the port check.
    const QString word = commandLine.section(QLatin1Char(' '), -1);
    if (word == QLatin1String("status"))
        return CommandKind::Status;
    if (word == QLatin1String("start"))
        return CommandKind::Start;
    if (word == QLatin1String("stop"))
        return CommandKind::Stop;
    return CommandKind::PortCheck;
}

const char* commandKindName(CommandKind kind)
{
    switch (kind) {
    case CommandKind::Status:
        return "status";
    case CommandKind::Start:
        return "start";
    case CommandKind::Stop:
        return "stop";
    case CommandKind::PortCheck:
        return "port check";
    }
    return "?";
}

void BenchHost::forwardTermination(const TaskTermination& termination)
{
    Termination seen{commandKind(termination.arguments.isEmpty() ? QString() : termination.arguments.last()),
                     termination.terminationStatus, monotonicNs(), 0};
    ++terminations;
    emit taskDidTerminate(termination);
    seen.interpretedNs = monotonicNs();
    if (onTermination)
        onTermination(seen);
    emit interpreted();
}

bool BenchHost::launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure)
{
    Launch launch{commandKind(spec.arguments.isEmpty() ? QString() : spec.arguments.last()), monotonicNs(),
                  0};
    OutputHandler timed;
    if (handler) {
        timed = [this, inner = std::move(handler)](const QByteArray& firstOutput) {
            const std::int64_t begin = monotonicNs();
            inner(firstOutput);
            handlerNs += monotonicNs() - begin;
        };
    }
    const bool launched = ForwardingHost::launchTask(spec, std::move(timed), failure);
    launch.returnedNs = monotonicNs();
    if (launched) {
        ++launches;
        if (onLaunch)
            onLaunch(launch);
    }
    return launched;
}

int BenchHost::runModalAlert(const AlertRequest&)
{
    ++alerts;
    return FirstButtonReturn;
}

void BenchHost::deliverNotification(const UserNotification&)
{
    ++notifications;
}

bool BenchHost::openUrl(const QUrl&)
{
    return true;
}

void BenchHost::log(const QString&)
{
    ++logRecords;
}

void BenchHost::scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback)
{
    if (repeats && dropRepeatingTimers) {
        ++droppedTimers;
        return;
    }
    ForwardingHost::scheduleTimer(interval, repeats, std::move(callback));
}

void BenchHost::terminate() {}

} // namespace tolvane::bench
