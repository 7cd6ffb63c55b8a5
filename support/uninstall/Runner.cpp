// Bounded runs through QProcess; the program leads a process group of its own so that the whole group
// can be ended.
#include "Runner.h"

#include "Signals.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <unistd.h>

namespace tolvane::uninstall {

namespace {

constexpr std::chrono::seconds GraceBeforeKill{5};

void signalGroup(qint64 pid, int signal, bool group)
{
    if (pid <= 0)
        return;
    ::kill(group ? -static_cast<pid_t>(pid) : static_cast<pid_t>(pid), signal);
}

} // namespace

QString findProgram(const QString& name)
{
    return QStandardPaths::findExecutable(name);
}

RunResult runBounded(const QString& program, const QStringList& arguments, const RunOptions& options)
{
    RunResult result;
    const QString path = program.contains(QLatin1Char('/')) ? program : findProgram(program);
    if (path.isEmpty()) {
        result.failure = QStringLiteral("%1 is not installed").arg(program);
        return result;
    }
    QProcess process;
    process.setProgram(path);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (options.environment)
        process.setProcessEnvironment(*options.environment);
    if (options.captureOutput) {
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.setReadChannel(QProcess::StandardOutput);
        process.setStandardErrorFile(QProcess::nullDevice());
    } else {
        // Straight to the tool's standard error, no pipe: a program that leaves a child behind that keeps the
        // pipe open cannot keep the tool waiting.
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    const bool ownSession = options.ownSession;
    const bool outputToErrors = !options.captureOutput;
    process.setChildProcessModifier([ownSession, outputToErrors] {
        if (ownSession)
            ::setsid();
        if (outputToErrors)
            ::dup2(STDERR_FILENO, STDOUT_FILENO);
        releaseTerminationSignalsInChild();
    });
    process.start();
    if (!process.waitForStarted(30000)) {
        result.failure = process.errorString();
        return result;
    }
    result.started = true;
    const qint64 pid = process.processId();
    if (!process.waitForFinished(static_cast<int>(options.limit.count()))) {
        result.ended = true;
        signalGroup(pid, SIGTERM, ownSession);
        if (!process.waitForFinished(static_cast<int>(std::chrono::milliseconds(GraceBeforeKill).count()))) {
            signalGroup(pid, SIGKILL, ownSession);
            process.waitForFinished(-1);
        }
    }
    // What the group left behind after its leader ended goes as well, when the leader was ended.
    if (result.ended && ownSession)
        signalGroup(pid, SIGKILL, true);
    if (options.captureOutput)
        result.output = process.readAllStandardOutput();
    result.exitCode = process.exitStatus() == QProcess::NormalExit && !result.ended ? process.exitCode() : -1;
    return result;
}

} // namespace tolvane::uninstall
