// Installation paths and the setup check.
#include "server/Paths.h"

#include "app/AppDelegate.h"
#include "common/BuildInfo.h"
#include "platform/Host.h"
#include "prefs/Preferences.h"

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

QString standardizePath(const QString& path)
{
    return standardizePath(path, host().homeDirectory());
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
    return dataLocation(host().userDefaults().value(CustomTolvaneDataKey), host().environment(),
                        host().homeDirectory());
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
