// The login integration of the platform this controller was built for.
#include "platform/Host.h"
#include "platform/UserDefaults.h"
#include "prefs/LoginIntegration.h"

namespace tolvane {

std::unique_ptr<LoginIntegration> makeLoginIntegration()
{
#ifdef Q_OS_MACOS
    return makeLaunchdLoginIntegration(host().homeDirectory());
#else
    return makeFreedesktopLoginIntegration(userConfigFolder(host().environment(), host().homeDirectory()));
#endif
}

} // namespace tolvane
