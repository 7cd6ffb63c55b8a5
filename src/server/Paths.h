// Where the server executable and the data location are. Every answer is computed afresh from the
// process environment, the preferences store and the file system; nothing is cached.
#pragma once

#include "server/DataLocation.h"

#include <QString>
#include <optional>

namespace tolvane {

// The variable's value in the controller's own environment; exact, case-sensitive name.
std::optional<QString> getEnvVar(const QString& name);

// standardizePath with the host's home folder.
QString standardizePath(const QString& path);

// TOLVANE_PEX when it names an existing path, else the default path (not tested for existence).
QString getTolvaneExecutable();
bool checkTolvaneExecutable();
bool tolvaneExists();

// The data location (see dataLocation) from the host's store, environment and home folder.
std::optional<QString> getTolvaneDataPath();

} // namespace tolvane
