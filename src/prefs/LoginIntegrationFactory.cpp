// The login integration of the platform this controller was built for.
#include "platform/Host.h"
#include "prefs/LoginIntegration.h"

#include <QDir>

namespace tolvane {

std::unique_ptr<LoginIntegration> makeLoginIntegration()
{
#ifdef Q_OS_MACOS
    return makeLaunchdLoginIntegration(host().homeDirectory());
#else
    // A relative XDG_CONFIG_HOME is invalid and must be ignored, like an empty one.
    const QString configured = host().environment().value(QStringLiteral("XDG_CONFIG_HOME"));
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return makeFreedesktopLoginIntegration(QDir::cleanPath(configured));
    return makeFreedesktopLoginIntegration(host().homeDirectory() + QStringLiteral("/.config"));
#endif
}

} // namespace tolvane
