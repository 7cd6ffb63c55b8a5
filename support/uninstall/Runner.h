// Outside programs, each bounded: a program still running at its time limit is ended together with
// every process it started (its own process group): asked to terminate, then killed 5 seconds later.
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace tolvane::uninstall {

struct RunOptions {
    std::chrono::milliseconds limit{std::chrono::seconds(30)};
    // Without one, the program gets the tool's own environment.
    std::optional<QProcessEnvironment> environment;
    // Its standard output is collected (it must not start programs that outlive it); otherwise both
    // output streams go to the tool's standard error.
    bool captureOutput = false;
    // A program that asks the user something on the terminal (sudo) keeps the terminal's session; it is
    // then ended on its own, not as a group.
    bool ownSession = true;
};

struct RunResult {
    bool started = false;
    // The exit status; -1 when the program crashed or was ended.
    int exitCode = -1;
    // The tool ended it at its time limit.
    bool ended = false;
    QByteArray output;
    QString failure;
};

// The program, looked up on PATH unless it is a path.
RunResult runBounded(const QString& program, const QStringList& arguments, const RunOptions& options);

// The program's path on PATH; empty when it is not there.
QString findProgram(const QString& name);

} // namespace tolvane::uninstall
