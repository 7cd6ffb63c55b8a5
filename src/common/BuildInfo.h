// What the build decides: the controller's version, the application's name and identifier and the default
// server executable. src/CMakeLists.txt writes them into two generated headers: the name and identifier,
// which initialise other constants, into common/BuildIdentity.h here; the version and the server path,
// which change with every release and prefix, into one that only BuildInfo.cpp reads.
#pragma once

#include "common/BuildIdentity.h"

#include <QString>

namespace tolvane {

// The application's name on screen: the bundle's, the tray item's and the alerts' title.
inline const QString ApplicationName = QStringLiteral(TOLVANE_APP_NAME);
// The reverse-DNS identifier: the macOS bundle's, the preferences domain and the login entries' name.
inline const QString ApplicationId = QStringLiteral(TOLVANE_APP_ID);
// The name of the login entries (the launch agent's label without ".plist", the freedesktop entries'
// file names without their extensions); the uninstall tool removes entries of this name.
inline const QString LoginEntryName = ApplicationId + QStringLiteral(".user");

// Defined in BuildInfo.cpp: read them from functions, not from the initialiser of another global.
extern const QString ControllerVersion;
// Where the product installs the server executable.
extern const QString DefaultTolvaneExecutable;

} // namespace tolvane
