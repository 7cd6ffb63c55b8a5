// What the build decides: the controller's version, the application's name and identifier and the default
// server executable (src/CMakeLists.txt defines them from the project's own settings).
#pragma once

#include <QString>

#if !defined(TOLVANE_VERSION) || !defined(TOLVANE_APP_NAME) || !defined(TOLVANE_APP_ID) ||                   \
    !defined(TOLVANE_DEFAULT_EXECUTABLE)
#error "The build defines TOLVANE_VERSION, TOLVANE_APP_NAME, TOLVANE_APP_ID and TOLVANE_DEFAULT_EXECUTABLE"
#endif

namespace tolvane {

inline const QString ControllerVersion = QStringLiteral(TOLVANE_VERSION);
// The application's name on screen: the bundle's, the tray item's and the alerts' title.
inline const QString ApplicationName = QStringLiteral(TOLVANE_APP_NAME);
// The reverse-DNS identifier: the macOS bundle's, the preferences domain and the login entries' name.
inline const QString ApplicationId = QStringLiteral(TOLVANE_APP_ID);
// Where the product installs the server executable.
inline const QString DefaultTolvaneExecutable = QStringLiteral(TOLVANE_DEFAULT_EXECUTABLE);

} // namespace tolvane
