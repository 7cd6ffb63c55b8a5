// A folder of fake command-line tools for tests that run commands through a shell. Each run of a fake
// writes "$0" and its arguments, NUL-separated, to a record of its own named after the program,
// renaming it into place so that a reader never sees half a record.
#pragma once

#include "ScopedEnvironment.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>
#include <vector>

namespace tolvane::testing {

// What one run of a fake recorded: the name it was run by ($0), then its arguments.
struct Invocation {
    QByteArray invokedAs;
    QList<QByteArray> arguments;
};

class FakeTools {
public:
    // The variable that tells the fakes where their records go.
    static constexpr const char* LogVariable = "FAKE_TOOL_LOG";

    // The programs through which a command could change the login session of whoever runs the tests,
    // on any platform: launchd's environment and preferences, Apple Events, opening applications, the
    // D-Bus activation and systemd user environments. Every FakeTools puts a recording stand-in for
    // each of them first on PATH, so that a command run in its environment never reaches the real one.
    static const QStringList& sessionTools();

    FakeTools();

    bool isValid() const { return m_root.isValid(); }
    QString root() const { return m_root.path(); }
    // The folder of the fakes that are found through PATH.
    QString binFolder() const;

    // A fake found through PATH under `name`.
    void addTool(const QString& name);
    // A fake at an arbitrary absolute path (the controller executable itself on Linux).
    void addToolAt(const QString& path);

    // A copy of this process's environment in which the fakes are found first on PATH and know where to
    // record, without TOLVANE_HOME so that the value a command gives is the only one.
    QProcessEnvironment environment() const;
    // The same PATH and record folder in this process's own environment, for as long as `variables` lives.
    void install(ScopedEnvironment& variables) const;

    // Runs `command` through /bin/sh -c in the fakes' environment, from root(); answers its exit status
    // as runProgram does.
    int runShell(const QString& command) const;

    // Every run of the fake whose program has this base name, oldest first.
    std::vector<Invocation> invocations(const QString& name) const;
    // Its latest run.
    std::optional<Invocation> invocation(const QString& name) const;
    // The base names of every fake that ran, sorted.
    QStringList ran() const;
    // Waits, bounded, until the fake `name` has run; for programs that another program launches.
    bool waitForInvocation(const QString& name) const;
    // Forgets every run so far.
    void forget() const;

    // A file that an injected command in a path would create, relative to root(), where the shell runs.
    QString injectionMarker() const;

private:
    QString logFolder() const;
    QString recordPath(const QString& name, int run) const;

    QTemporaryDir m_root;
};

} // namespace tolvane::testing
