// Programs run to the end from a test: a bounded wait, and a program that runs past its bound is killed
// and fails the running test, so that no caller reads the exit status of a program that never ended.
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

namespace tolvane::testing {

// Generous: a loaded machine with two cores runs the tests two at a time.
inline constexpr int ProgramTimeoutMs = 60000;

struct ProgramOptions {
    // The whole environment of the program; without one it inherits this process's.
    std::optional<QProcessEnvironment> environment = std::nullopt;
    QString workingDirectory = QString();
    int timeoutMs = ProgramTimeoutMs;
};

// Runs the program with no input and waits for it; answers its exit status, or -1 when it could not be
// started, was ended by a signal, or ran past the bound (then it is killed and the test fails). Fills
// `output` with its standard output and `errors` with its standard error.
int runProgram(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
               QByteArray* errors = nullptr, const ProgramOptions& options = {});

// Runs the server executable with one word ("start", "stop", "status") for the data folder, as the
// controller would; answers as runProgram does.
int runServer(const QString& executable, const QString& word, const QString& dataFolder);

} // namespace tolvane::testing
