// The state machine around the server: the poll, and the interpretation of the end of every command
// the controller launched. The decisions are the interpreter's; here the controller's state goes in and
// the step comes out.
#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "common/ShellText.h"
#include "server/CommandRunner.h"
#include "server/Paths.h"
#include "server/ServerContract.h"
#include "server/StatusInterpreter.h"

#include <chrono>

namespace tolvane {

namespace {

using namespace std::chrono_literals;

constexpr auto PollInterval = 8s;

} // namespace

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
    CommandEnd end;
    end.commandLine = notification.arguments.isEmpty() ? QString() : notification.arguments.last();
    end.exitStatus = notification.terminationStatus;
    end.endedAfter = notification.endedAfter;
    if (commandWord(end.commandLine) == StatusCommand && m_runningStatusCommands > 0)
        --m_runningStatusCommands;
    if (!isTolvaneCommand(commandWord(end.commandLine))) {
        end.portCheckOutput = m_portCheckOutput;
        m_portCheckOutput.clear();
    }
    applyStatusStep(interpretCommandEnd(interpreterState(), end, checkTolvaneExecutable()));
    return status();
}

void AppDelegate::serverCommandNotLaunched(const QString& command)
{
    CommandEnd end;
    end.commandLine = command;
    end.launched = false;
    applyStatusStep(interpretCommandEnd(interpreterState(), end, false));
}

InterpreterState AppDelegate::interpreterState() const
{
    return InterpreterState{status(), isPortAlert(), istolvaneStart(), m_executableMissingShown};
}

void AppDelegate::applyStatusStep(const InterpreterStep& step)
{
    setIsPortAlert(step.flags.portAlert);
    setIstolvaneStart(step.flags.startPending);
    m_executableMissingShown = step.flags.missingShown;
    for (const QString& line : step.logLines)
        host().log(line);
    if (step.alert)
        alert(*step.alert);
    if (step.record)
        setNewStatus(*step.record);
    if (step.present)
        showStatus(step.record.value_or(status()));
    if (step.notification)
        showNotification(*step.notification, QString());
    if (step.next)
        runTolvane(*step.next);
}

} // namespace tolvane
