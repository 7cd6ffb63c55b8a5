// On freedesktop systems the login entries go to the user's configuration folder.
#include "platform/Host.h"
#include "platform/UserDefaults.h"
#include "prefs/LoginIntegration.h"

namespace tolvane {

std::unique_ptr<LoginIntegration> makeLoginIntegration()
{
    return makeFreedesktopLoginIntegration(userConfigFolder(host().environment(), host().homeDirectory()));
}

} // namespace tolvane
