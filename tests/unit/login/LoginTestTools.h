// Helpers for the login integration tests: fake command-line tools that record their argument vectors,
// running command texts through the standard shell, and the awkward paths the adapters must carry.
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

namespace tolvane::logintest {

// What a fake tool recorded: the name it was run by ($0), then its arguments.
struct Invocation {
    QByteArray invokedAs;
    QList<QByteArray> arguments;
};

// A folder of fake programs. Each one writes "$0" and its arguments, NUL-separated, to a log named after
// the program, renaming it into place so that a reader never sees half a record.
class FakeTools {
public:
    FakeTools();

    bool isValid() const { return m_root.isValid(); }
    QString root() const { return m_root.path(); }

    // A fake found through PATH under `name`.
    void addTool(const QString& name);
    // A fake at an arbitrary absolute path (the controller executable itself on Linux).
    void addToolAt(const QString& path);

    // The environment in which the fakes are found first on PATH and know where to log.
    QProcessEnvironment environment() const;

    // Runs `command` through /bin/sh -c in the fakes' environment, from root(); answers the exit status,
    // or -1 when the shell did not finish.
    int runShell(const QString& command) const;

    // The record a fake left, by its log name (the base name of the program).
    std::optional<Invocation> invocation(const QString& name) const;
    // The log names of every fake that ran.
    QStringList ran() const;
    // Waits, bounded, until the fake `name` has logged; for programs that another program launches.
    bool waitForInvocation(const QString& name) const;

    // A file that an injected command in a path would create, relative to root(), where the shell runs.
    QString injectionMarker() const;

private:
    QTemporaryDir m_root;
};

// Paths that the shell would change if it saw them unquoted: blanks, quotes, expansions, backslashes,
// non-ASCII letters, and command substitutions that, if the shell ever ran them, would create the
// injection marker in the folder the shell runs in.
QStringList awkwardDataLocations();

// Runs a program and waits, bounded, for it; answers the exit status (-1 when it did not finish) and
// fills `output` with its standard output and `errors` with its standard error.
int runProgram(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
               QByteArray* errors = nullptr, const std::optional<QProcessEnvironment>& environment = {},
               const QString& workingDirectory = {});

QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& contents);
// The entries of a folder other than . and .., sorted.
QStringList folderEntries(const QString& path);

// Makes a folder refuse new files even for root (the immutable attribute) and undoes it on destruction.
// isLocked() is false when the file system or the user offers no way to do that.
class LockedFolder {
public:
    explicit LockedFolder(const QString& path);
    ~LockedFolder();
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;

    bool isLocked() const { return m_mode != Mode::None; }

private:
    enum class Mode { None, Immutable, ReadOnly };
    QString m_path;
    Mode m_mode = Mode::None;
};

} // namespace tolvane::logintest

// Readable test failure messages for Qt's texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << ::testing::PrintToString(text.toStdString());
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << ::testing::PrintToString(bytes.toStdString());
}
