// The state machine around the server: the poll, and the interpretation of the end of every command
// the controller launched.
#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "common/ShellText.h"
#include "server/CommandRunner.h"
#include "server/Paths.h"
#include "server/ServerContract.h"

#include <QRegularExpression>
#include <chrono>

namespace tolvane {

namespace {

using namespace std::chrono_literals;

constexpr auto PollInterval = 8s;
// Exit statuses up to this value are the status code; larger ones are raw wait statuses.
constexpr int LargestExitStatus = 255;

const QString ExecutableMissingText = QStringLiteral("The `tolvane` executable does not exist!");
const QString PortOccupiedText =
    QStringLiteral("Port :%1 is occupied. Please close the process that is using it to start the Tolvane.")
        .arg(ServerPort);
const QString PortHeldFormat = QStringLiteral("Port %1 is held by %2.");
const QString FetchingStatusText = QStringLiteral("Fetching `tolvane status`...");
const QString EndedAtLimitFormat = QStringLiteral("Ended `%1` after %2 s: it had not finished.");

// "COMMAND PID ..." lines of the port check; the first one after the header names the holder.
QString portHolder(const QString& portCheckOutput)
{
    static const QRegularExpression row(QStringLiteral("^(\\S+)\\s+(\\d+)\\s"));
    const QStringList lines = portCheckOutput.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = row.match(line);
        if (match.hasMatch())
            return QStringLiteral("%1 (process %2)").arg(match.captured(1), match.captured(2));
    }
    return QString();
}

} // namespace

std::int32_t exitStatusToCode(int exitStatus)
{
    return exitStatus <= LargestExitStatus ? exitStatus : exitStatus >> 8;
}

void AppDelegate::startTolvaneTimer()
{
    host().scheduleTimer(PollInterval, true, [this] {
        // A status command that hangs must not pile up: the poll waits for the one still running, which
        // is ended at its time limit.
        if (m_runningStatusCommands > 0)
            return;
        getTolvaneStatus();
    });
}

std::int32_t AppDelegate::getTolvaneStatus()
{
    return runTolvane(StatusCommand);
}

std::int32_t AppDelegate::checkRunTask(const TaskTermination& notification)
{
    if (m_terminated)
        return status();
    const std::int32_t held = status();
    const int exitStatus = notification.terminationStatus;
    const QString commandLine = notification.arguments.isEmpty() ? QString() : notification.arguments.last();
    const QString word = commandWord(commandLine);
    if (word == StatusCommand && m_runningStatusCommands > 0)
        --m_runningStatusCommands;
    if (notification.endedAfter) {
        const auto seconds = std::chrono::round<std::chrono::seconds>(*notification.endedAfter);
        host().log(EndedAtLimitFormat.arg(commandLine).arg(seconds.count()));
    }

    if (!isTolvaneCommand(word)) {
        // The port check ended.
        if (exitStatus == 0) {
            setIsPortAlert(true);
            if (const QString holder = portHolder(m_portCheckOutput); !holder.isEmpty())
                host().log(PortHeldFormat.arg(ServerPort).arg(holder));
        }
        m_portCheckOutput.clear();
        getTolvaneStatus();
    } else if (!checkTolvaneExecutable()) {
        setNewStatus(ServerStatusUndetermined);
        showStatus(ServerStatusUndetermined);
        showNotification(ExecutableMissingText, QString());
    } else if (word == StatusCommand) {
        if (exitStatus != 0 && isPortAlert()) {
            setIsPortAlert(false);
            alert(PortOccupiedText);
            setNewStatus(ServerStatusStopped);
            showStatus(ServerStatusStopped);
        } else {
            if (isPortAlert())
                setIsPortAlert(false);
            if (istolvaneStart()) {
                setIstolvaneStart(false);
                setNewStatus(ServerStatusStarting);
                runTolvane(StartCommand);
            } else {
                const std::int32_t code = exitStatusToCode(exitStatus);
                setNewStatus(code);
                if (code != held)
                    showStatus(code);
            }
        }
    } else {
        host().log(FetchingStatusText);
        getTolvaneStatus();
    }
    return status();
}

} // namespace tolvane
