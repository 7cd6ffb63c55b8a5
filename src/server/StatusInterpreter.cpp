// The status interpreter's decisions, from the end of a command to the step the controller carries out.
#include "server/StatusInterpreter.h"

#include "common/ShellText.h"
#include "server/ServerContract.h"

#include <QRegularExpression>

namespace tolvane {

const QString ExecutableMissingText = QStringLiteral("The `tolvane` executable does not exist!");
const QString PortOccupiedText =
    QStringLiteral("Port :%1 is occupied. Please close the process that is using it to start the Tolvane.")
        .arg(ServerPort);

namespace {

// Exit statuses up to this value are the status code; larger ones are raw wait statuses.
constexpr int LargestExitStatus = 255;

const QString PortHeldFormat = QStringLiteral("Port %1 is held by %2.");
const QString FetchingStatusText = QStringLiteral("Fetching `tolvane status`...");
const QString EndedAtLimitFormat = QStringLiteral("Ended `%1` after %2 s: it had not finished.");
const QString NoAnswerFormat = QStringLiteral("The ended `%1` gave no answer: the server state shown stays.");

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

// The start asked for goes ahead: the starting code is recorded, not presented, and `start` is sent.
void sendPendingStart(InterpreterStep& step)
{
    step.flags.startPending = false;
    step.record = ServerStatusStarting;
    step.next = StartCommand;
}

} // namespace

std::int32_t exitStatusToCode(int exitStatus)
{
    return exitStatus <= LargestExitStatus ? exitStatus : exitStatus >> 8;
}

InterpreterStep interpretCommandEnd(const InterpreterState& state, const CommandEnd& end,
                                    bool executableExists)
{
    InterpreterStep step;
    step.flags = state;
    const QString word = commandWord(end.commandLine);
    const bool answered = !end.endedAfter.has_value();
    if (!answered) {
        const auto seconds = std::chrono::round<std::chrono::seconds>(*end.endedAfter);
        step.logLines << EndedAtLimitFormat.arg(end.commandLine).arg(seconds.count());
    }

    if (!isTolvaneCommand(word)) {
        // The port check ended; a check ended at its limit says nothing about the port.
        if (answered && end.exitStatus == 0) {
            step.flags.portAlert = true;
            if (const QString holder = portHolder(end.portCheckOutput); !holder.isEmpty())
                step.logLines << PortHeldFormat.arg(ServerPort).arg(holder);
        }
        step.next = StatusCommand;
        return step;
    }

    if (!end.launched || !executableExists) {
        // Nothing can run: a start asked for is over, and Start is how the user tries again. The state
        // is presented when it begins and whenever a start runs into it, not at every poll.
        step.flags.portAlert = false;
        step.flags.startPending = false;
        step.flags.missingShown = true;
        if (!state.missingShown || state.startPending || state.held != ServerStatusUndetermined) {
            step.record = ServerStatusUndetermined;
            step.present = true;
            step.notification = ExecutableMissingText;
        }
        return step;
    }

    if (word != StatusCommand) {
        // `start` or `stop` ended: only a fresh status query tells what it did.
        step.logLines << FetchingStatusText;
        step.next = StatusCommand;
        return step;
    }

    if (!answered) {
        // A status ended at its limit is no answer: the code held and what is shown stay. A start asked
        // for goes on as after any status, unless the port check found the port in use: whether the
        // server or another program holds it takes an answer.
        step.logLines << NoAnswerFormat.arg(StatusCommand);
        if (state.startPending && !state.portAlert)
            sendPendingStart(step);
        return step;
    }

    if (end.exitStatus != 0 && state.portAlert) {
        step.flags.portAlert = false;
        step.flags.missingShown = false;
        step.alert = PortOccupiedText;
        step.record = ServerStatusStopped;
        step.present = true;
        return step;
    }
    step.flags.portAlert = false;
    if (state.startPending) {
        sendPendingStart(step);
        return step;
    }
    const std::int32_t code = exitStatusToCode(end.exitStatus);
    step.record = code;
    // Back from the missing-executable state, the server's own state is shown whatever it is.
    step.present = code != state.held || state.missingShown;
    if (step.present)
        step.flags.missingShown = false;
    return step;
}

} // namespace tolvane
