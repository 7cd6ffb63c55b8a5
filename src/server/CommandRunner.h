// Running commands through the login shell.
#pragma once

#include <QString>

namespace tolvane {

inline const QString ShellPath = QStringLiteral("/bin/bash");

// True exactly for the server's command words "start", "stop" and "status".
bool isTolvaneCommand(const QString& text);

// The text unchanged when the shell reads it as one plain word; else quoted so that the shell sees it
// unchanged, whatever it holds.
QString shellQuoted(const QString& text);

// A backslash before each character that keeps its meaning between double quotes (`"`, `$`, a
// backquote, a backslash), so that the shell, and a desktop entry's Exec parser, which follows the
// same rules, read the text between the quotes unchanged.
QString escapedForDoubleQuotes(const QString& text);

} // namespace tolvane
