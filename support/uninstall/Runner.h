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
    // What it wrote on its standard output and its standard error. Collected, never passed through, so
    // that the tool's standard error holds its own log lines only.
    QByteArray output;
    QByteArray errors;
    QString failure;
    // Both, as one log line ("a | b"); empty when it wrote nothing.
    QString said() const;
};

// The program, looked up on PATH unless it is a path.
RunResult runBounded(const QString& program, const QStringList& arguments, const RunOptions& options);

// The program's path on PATH; empty when it is not there.
QString findProgram(const QString& name);

} // namespace tolvane::uninstall
