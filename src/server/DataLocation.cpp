// The data location's reading, shared by the controller and the uninstall tool.
#include "server/DataLocation.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace tolvane {

bool pathExists(const std::optional<QString>& path)
{
    if (!path || path->isEmpty())
        return false;
    struct stat info;
    return ::stat(QFile::encodeName(*path).constData(), &info) == 0;
}

QString standardizePath(const QString& path, const QString& homeDirectory)
{
    QString expanded = path;
    if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
        expanded = homeDirectory + expanded.mid(1);
    return expanded.isEmpty() ? expanded : QDir::cleanPath(expanded);
}

std::optional<QString> dataLocation(const QVariant& stored, const QProcessEnvironment& environment,
                                    const QString& homeDirectory)
{
    // The stored choice is tested as it is stored, before any tilde expansion.
    if (stored.isValid() && stored.canConvert<QString>()) {
        const QString preference = stored.toString();
        if (pathExists(preference))
            return standardizePath(preference, homeDirectory);
    }
    if (environment.contains(ServerHomeVariable)) {
        const QString fromEnvironment = environment.value(ServerHomeVariable);
        if (pathExists(fromEnvironment))
            return fromEnvironment;
    }
    const QString inHome = QStringLiteral("%1/.tolvane").arg(homeDirectory);
    if (pathExists(inHome))
        return inHome;
    return std::nullopt;
}

} // namespace tolvane
