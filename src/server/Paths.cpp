// Installation paths and the setup check.
#include "server/Paths.h"

#include "app/AppDelegate.h"
#include "common/BuildInfo.h"
#include "platform/Host.h"
#include "prefs/Preferences.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace tolvane {

namespace {
const QString MissingExecutableDetail = QStringLiteral("%1\n* The Tolvane executable cannot be found.");
const QString LookedForFormat =
    QStringLiteral("The Tolvane executable was looked for at '%1'; set %2 to use another one.");
// When the variable is set but names nothing, the user is told that it was read, and where it led.
const QString OverrideMissingFormat =
    QStringLiteral("The Tolvane executable was looked for at '%1', which %2 names, and at '%3'.");
} // namespace

std::optional<QString> getEnvVar(const QString& name)
{
    const QProcessEnvironment environment = host().environment();
    if (!environment.contains(name))
        return std::nullopt;
    return environment.value(name);
}

bool pathExists(const std::optional<QString>& path)
{
    if (!path || path->isEmpty())
        return false;
    struct stat info;
    return ::stat(QFile::encodeName(*path).constData(), &info) == 0;
}

QString standardizePath(const QString& path)
{
    QString expanded = path;
    if (expanded == QLatin1String("~") || expanded.startsWith(QLatin1String("~/")))
        expanded = host().homeDirectory() + expanded.mid(1);
    return expanded.isEmpty() ? expanded : QDir::cleanPath(expanded);
}

QString getTolvaneExecutable()
{
    const std::optional<QString> overridden = getEnvVar(ExecutableVariable);
    if (pathExists(overridden))
        return *overridden;
    return DefaultTolvaneExecutable;
}

bool checkTolvaneExecutable()
{
    return pathExists(getTolvaneExecutable());
}

bool tolvaneExists()
{
    return checkTolvaneExecutable();
}

std::optional<QString> getTolvaneDataPath()
{
    // The stored choice is tested as it is stored, before any tilde expansion.
    const QVariant stored = host().userDefaults().value(CustomTolvaneDataKey);
    if (stored.isValid() && stored.canConvert<QString>()) {
        const QString preference = stored.toString();
        if (pathExists(preference))
            return standardizePath(preference);
    }
    const std::optional<QString> environment = getEnvVar(ServerHomeVariable);
    if (pathExists(environment))
        return environment;
    const QString inHome = QStringLiteral("%1/.tolvane").arg(host().homeDirectory());
    if (pathExists(inHome))
        return inHome;
    return std::nullopt;
}

bool AppDelegate::checkSetup(bool)
{
    if (checkTolvaneExecutable())
        return true;
    // The launch alert sends the user to the system log for the details.
    host().log(MissingExecutableDetail.arg(QString()));
    const std::optional<QString> overridden = getEnvVar(ExecutableVariable);
    if (overridden && !overridden->isEmpty())
        host().log(OverrideMissingFormat.arg(*overridden, ExecutableVariable, getTolvaneExecutable()));
    else
        host().log(LookedForFormat.arg(getTolvaneExecutable(), ExecutableVariable));
    return false;
}

} // namespace tolvane
