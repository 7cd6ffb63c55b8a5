// Where the server's data location is: the one reading that the controller and the uninstall tool share.
// Nothing here needs the host; the caller hands in the stored value, the environment and the home folder.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QVariant>
#include <optional>

namespace tolvane {

// The variables that name the server executable and, for the server, its data location.
inline const QString ExecutableVariable = QStringLiteral("TOLVANE_PEX");
inline const QString ServerHomeVariable = QStringLiteral("TOLVANE_HOME");

// Something of any kind exists at the path; symbolic links are followed. An absent path never exists.
bool pathExists(const std::optional<QString>& path);

// A leading tilde expanded to the home folder, empty and current-folder components removed,
// parent-folder components resolved as text (a link before ".." is not followed).
QString standardizePath(const QString& path, const QString& homeDirectory);

// The stored data location, else TOLVANE_HOME, else ~/.tolvane; the first that exists. The stored
// value is tested as it is stored and answered standardized; TOLVANE_HOME is answered unchanged.
std::optional<QString> dataLocation(const QVariant& stored, const QProcessEnvironment& environment,
                                    const QString& homeDirectory);

} // namespace tolvane
