// Running commands through the login shell.
#pragma once

#include <QString>

namespace tolvane {

inline const QString ShellPath = QStringLiteral("/bin/bash");

// True exactly for the server's command words "start", "stop" and "status".
bool isTolvaneCommand(const QString& text);

} // namespace tolvane
