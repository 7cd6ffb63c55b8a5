// Running commands through the login shell.
#pragma once

#include "server/ServerContract.h"

#include <QString>

namespace tolvane {

inline const QString ShellPath = QStringLiteral("/bin/bash");

} // namespace tolvane
