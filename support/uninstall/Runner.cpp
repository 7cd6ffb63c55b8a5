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

QString RunResult::said() const
{
    QStringList lines;
    for (const QByteArray* stream : {&output, &errors}) {
        for (const QString& line : QString::fromUtf8(*stream).split(QLatin1Char('\n'))) {
            if (!line.trimmed().isEmpty())
                lines.append(line.trimmed());
        }
    }
    return lines.join(QStringLiteral(" | "));
}

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
    process.setProcessChannelMode(QProcess::SeparateChannels);
    const bool ownSession = options.ownSession;
    process.setChildProcessModifier([ownSession] {
        if (ownSession)
            ::setsid();
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
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit && !result.ended ? process.exitCode() : -1;
    return result;
}

} // namespace tolvane::uninstall
