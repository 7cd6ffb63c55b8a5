// Alerts, OK/Cancel questions and user notifications, shared by the whole controller.
#pragma once

#include <QString>
#include <optional>

namespace tolvane {

inline const QString NotificationTitle = QStringLiteral("Tolvane");
inline const QString NotificationSoundName = QStringLiteral("Basso.aiff");

// What the controller says when it runs from a translocated copy (see Host::bundleIsTranslocated) and so
// cannot set anything up that names its own place, nor find the programs installed beside it.
inline const QString TranslocatedText = QStringLiteral(
    "Tolvane is running from a temporary copy that macOS made because it was opened where it was "
    "downloaded. Quit Tolvane, move the Tolvane folder into your Applications folder and open Tolvane "
    "from there; until then it cannot set up your login items or find its uninstall tool.");

// A modal warning with one "OK" button; returns once the user has dismissed it.
void alert(const QString& message);

// A modal question with "OK" (the default) and "Cancel"; true exactly when the user chose "OK".
bool confirm(const QString& message);

// Delivers a notification titled "Tolvane" at once and writes the subtitle, then the informative text
// when there is one, to the system log as separate records.
void showNotification(const QString& subtitle, const std::optional<QString>& informativeText);

} // namespace tolvane
