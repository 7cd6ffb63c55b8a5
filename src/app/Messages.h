// Alerts, OK/Cancel questions and user notifications, shared by the whole controller.
#pragma once

#include <QString>
#include <optional>

namespace tolvane {

inline const QString NotificationTitle = QStringLiteral("Tolvane");
inline const QString NotificationSoundName = QStringLiteral("Basso.aiff");

// A modal warning with one "OK" button; returns once the user has dismissed it.
void alert(const QString& message);

// A modal question with "OK" (the default) and "Cancel"; true exactly when the user chose "OK".
bool confirm(const QString& message);

// Delivers a notification titled "Tolvane" at once and writes the subtitle, then the informative text
// when there is one, to the system log as separate records.
void showNotification(const QString& subtitle, const std::optional<QString>& informativeText);

} // namespace tolvane
