// The command runner: every command goes to "/bin/bash -l -c", its two output streams into one pipe,
// the first piece of output to the system log and the log view while the status code has just
// changed, and its end to the status interpreter.
#include "server/CommandRunner.h"

#include "app/AppDelegate.h"
#include "common/ShellText.h"
#include "server/Paths.h"
#include "server/ServerContract.h"

#include <chrono>

namespace tolvane {

namespace {

using namespace std::chrono_literals;

const QString LaunchErrorFormat = QStringLiteral("Error running `tolvane` %1");
// A status query that takes longer than this is stuck (a login profile waiting on a network mount is
// enough); it is ended so that the poll, which waits for it, goes on. Start and stop have no limit: a
// first start of a real server may take minutes.
constexpr auto StatusTimeLimit = 60s;

} // namespace

bool AppDelegate::runTask(const QString& command, QString* failure)
{
    // The status poll leaves the icon alone; every other command shows that something is under way.
    QString imageBefore;
    if (command != StatusCommand && outlets.statusItem) {
        imageBefore = outlets.statusItem->image();
        outlets.statusItem->setImage(LoadingImage);
    }

    TaskSpec spec;
    spec.launchPath = ShellPath;
    if (isTolvaneCommand(command)) {
        // Without a data location the command runs with the inherited environment: the server then
        // uses, and creates, its own default folder.
        if (const std::optional<QString> dataPath = getTolvaneDataPath()) {
            QProcessEnvironment environment = host().environment();
            environment.insert(ServerHomeVariable, *dataPath);
            spec.environment = environment;
        }
        const QString commandLine = QStringLiteral("%1 %2").arg(shellQuoted(getTolvaneExecutable()), command);
        spec.arguments = {QStringLiteral("-l"), QStringLiteral("-c"), commandLine};
        if (command == StatusCommand)
            spec.timeLimit = StatusTimeLimit;
    } else {
        spec.arguments = {QStringLiteral("-l"), QStringLiteral("-c"), command};
    }

    // The first piece of output is shown only while the latest recorded status code changed the one
    // held before, so that a steady poll does not fill the log.
    QPointer<AppDelegate> controller(this);
    const bool portCheck = !isTolvaneCommand(command);
    OutputHandler handler = [controller, portCheck](const QByteArray& firstOutput) {
        if (!controller || controller->m_terminated)
            return;
        const QString text = QString::fromUtf8(firstOutput);
        const std::int32_t current = controller->status();
        const std::int32_t previous = controller->lastStatus();
        if (current != previous) {
            host().log(text);
            controller->displayLogs(text);
        }
        // The port check's output names the process that holds the port, for the log after an alert.
        if (portCheck)
            controller->m_portCheckOutput = text;
    };

    QString reason;
    if (host().launchTask(spec, std::move(handler), &reason)) {
        if (command == StatusCommand)
            ++m_runningStatusCommands;
        return true;
    }
    if (failure)
        *failure = reason;
    // Nothing runs, so nothing will end it: the icon goes back to what it showed.
    if (!imageBefore.isEmpty() && outlets.statusItem)
        outlets.statusItem->setImage(imageBefore);
    return false;
}

std::int32_t AppDelegate::runTolvane(const QString& command)
{
    if (!checkTolvaneExecutable()) {
        // Nothing can run; the interpreter tells the user so, once, and makes Start available again.
        serverCommandNotLaunched(command);
        return status();
    }
    QString failure;
    if (!runTask(command, &failure)) {
        setNewStatus(ServerStatusUndetermined);
        host().log(LaunchErrorFormat.arg(failure));
    }
    return status();
}

} // namespace tolvane
