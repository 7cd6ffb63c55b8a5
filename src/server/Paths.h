// Where the server executable and the data location are. Every answer is computed afresh from the
// process environment, the preferences store and the file system; nothing is cached.
#pragma once

#include <QString>
#include <optional>

namespace tolvane {

// The variables that name the server executable and, for the server, its data location.
inline const QString ExecutableVariable = QStringLiteral("TOLVANE_PEX");
inline const QString ServerHomeVariable = QStringLiteral("TOLVANE_HOME");

// The variable's value in the controller's own environment; exact, case-sensitive name.
std::optional<QString> getEnvVar(const QString& name);

// Something of any kind exists at the path; symbolic links are followed. An absent path never exists.
bool pathExists(const std::optional<QString>& path);

// A leading tilde expanded to the home folder, empty and current-folder components removed,
// parent-folder components resolved.
QString standardizePath(const QString& path);

// TOLVANE_PEX when it names an existing path, else the default path (not tested for existence).
QString getTolvaneExecutable();
bool checkTolvaneExecutable();
bool tolvaneExists();

// The stored data location, else TOLVANE_HOME, else ~/.tolvane; the first that exists.
std::optional<QString> getTolvaneDataPath();

} // namespace tolvane
