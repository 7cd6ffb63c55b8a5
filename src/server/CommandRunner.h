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

} // namespace tolvane
