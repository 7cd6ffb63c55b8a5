// Programs run to the end.
#include "Programs.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace tolvane::testing {

int runProgram(const QString& program, const QStringList& arguments, QByteArray* output, QByteArray* errors,
               const ProgramOptions& options)
{
    QProcess process;
    if (options.environment)
        process.setProcessEnvironment(*options.environment);
    if (!options.workingDirectory.isEmpty())
        process.setWorkingDirectory(options.workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted(options.timeoutMs))
        return -1;
    process.closeWriteChannel();
    if (!process.waitForFinished(options.timeoutMs)) {
        process.kill();
        process.waitForFinished(options.timeoutMs);
        ADD_FAILURE() << "`" << program.toStdString() << ' ' << arguments.join(QLatin1Char(' ')).toStdString()
                      << "` did not end within " << options.timeoutMs << " ms and was killed";
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (errors)
        *errors = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

int runServer(const QString& executable, const QString& word, const QString& dataFolder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TOLVANE_HOME"), dataFolder);
    return runProgram(executable, {word}, nullptr, nullptr, {.environment = environment});
}

} // namespace tolvane::testing
