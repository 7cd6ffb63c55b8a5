// One launched command as the real host keeps it: its QProcess and the reading end of its output pipe.
#pragma once

#include "platform/Host.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <chrono>
#include <functional>
#include <optional>

class QSocketNotifier;

namespace tolvane {

// Standard output and standard error share one pipe that the host reads itself, so that the pipe can
// outlive the QProcess object: the first piece goes to the handler, the rest is read and discarded
// until the pipe closes, so the command never writes into a closed pipe.
class RunningTask : public QObject {
public:
    RunningTask(int readFd, OutputHandler handler);
    // A task destroyed before its output ended (a command that could not be started, or the host going
    // away) tells its handler nothing: no end of output was seen.
    ~RunningTask() override;

    QProcess* process = new QProcess; // deleted with the task unless released at exit
    bool exited = false;
    QElapsedTimer runningFor;
    // Set when the host ended the command at its time limit: how long it had run by then.
    std::optional<std::chrono::milliseconds> endedAfter;
    // Called once, later on the main loop, when the command has ended and its pipe has closed.
    std::function<void()> onFinished;

    void markExited();
    bool finished() const { return exited && m_readFd < 0; }
    int readFd() const { return m_readFd; }

    // Reads what can be read now. The first piece read goes to the handler, once.
    void readOutput();
    // The command has written nothing so far: the handler hears the end of output as an empty piece.
    void deliverEmptyOutputIfNone();
    // Keeps the pipe out of the object's destruction, for the drainer that outlives the controller.
    int releaseReadFd();

private:
    void notifyIfFinished();
    void deliverFirstOutput(const QByteArray& piece);
    void closeOutput();

    int m_readFd;
    QSocketNotifier* m_notifier = nullptr;
    OutputHandler m_handler;
};

} // namespace tolvane
