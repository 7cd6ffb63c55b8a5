// systemd's environment.d generator, which reads the login entries at login: run as a session runs it,
// and its output read back.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace tolvane::testing {

extern const QString EnvironmentGeneratorPath;

bool environmentGeneratorInstalled();

// Runs the generator for a user with this configuration folder and home, without a TOLVANE_HOME of
// this process's; answers its exit status as runProgram does.
int runEnvironmentGenerator(const QString& configHome, const QString& home, QByteArray* output,
                            QByteArray* errors);

// What the generator's output, one "NAME=value" a line, gives the variable: each value as printed.
QList<QByteArray> printedValues(const QByteArray& output, const QByteArray& name);

// A printed value with its quoting undone: bare, or in double quotes with C escapes. None when the
// quoting is broken or holds an escape the generator does not write.
std::optional<QByteArray> generatorValue(const QByteArray& printed);

} // namespace tolvane::testing
