// The preferences the controller keeps in the per-user store, and what the preferences window and the
// login step both tell the user.
#pragma once

#include "platform/UserDefaults.h"

#include <QString>

namespace tolvane {

// Present once the first run stored its values.
inline const QString VersionKey = QStringLiteral("version");
// Whether the controller opens at login.
inline const QString AutoLoadOnLoginKey = QStringLiteral("autoLoadOnLogin");
// Whether the server starts when the controller opens.
inline const QString AutoStartOnLoadKey = QStringLiteral("autoStartOnLoad");

inline const QString DataFolderNotFoundText =
    QStringLiteral("Tolvane data folder is not found. Click the `Start Tolvane` button to auto-create the "
                   "Tolvane data folder.");

} // namespace tolvane
