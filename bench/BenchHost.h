// The real host with a stopwatch in front: commands, timers and files are real; every launch and every
// termination is time-stamped for the benchmark, alerts are answered with their first button, and
// notifications and log records are only counted, so that a long run keeps no growing record.
#pragma once

#include "ForwardingHost.h"

#include <cstdint>
#include <functional>

namespace tolvane::bench {

// Nanoseconds on the monotonic clock.
std::int64_t monotonicNs();

// What kind of command a shell command line is: the server's word, or the port check.
enum class CommandKind { Status, Start, Stop, PortCheck };
CommandKind commandKind(const QString& commandLine);
const char* commandKindName(CommandKind kind);

class BenchHost final : public testing::ForwardingHost {
    Q_OBJECT
public:
    struct Launch {
        CommandKind kind;
        std::int64_t callNs;     // entering the real host's launch call
        std::int64_t returnedNs; // the call returned: the command runs
    };
    struct Termination {
        CommandKind kind;
        int terminationStatus;
        std::int64_t seenNs;        // the real host reported the end
        std::int64_t interpretedNs; // the controller's handling of it has returned
    };

    bool launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure) override;
    int runModalAlert(const AlertRequest& request) override;
    void deliverNotification(const UserNotification& notification) override;
    bool openUrl(const QUrl& url) override;
    void log(const QString& record) override;
    void scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback) override;
    void terminate() override;

    // The benchmark drives the polls itself: the controller's repeating poll timer is not started.
    bool dropRepeatingTimers = true;

    // Called for every launch and, after the controller has interpreted it, every termination.
    std::function<void(const Launch&)> onLaunch;
    std::function<void(const Termination&)> onTermination;

    std::uint64_t launches = 0;
    std::uint64_t terminations = 0;
    std::uint64_t alerts = 0;
    std::uint64_t notifications = 0;
    std::uint64_t logRecords = 0;
    std::uint64_t droppedTimers = 0;
    // Time spent in the controller's output handlers: controller work inside a command's window.
    std::int64_t handlerNs = 0;

signals:
    // After every termination, once the controller has handled it.
    void interpreted();

protected:
    void forwardTermination(const TaskTermination& termination) override;
};

} // namespace tolvane::bench
