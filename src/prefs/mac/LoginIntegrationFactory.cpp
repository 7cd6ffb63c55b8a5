// On macOS the login entry is a launch agent in the user's LaunchAgents folder.
#include "platform/Host.h"
#include "prefs/LoginIntegration.h"

namespace tolvane {

std::unique_ptr<LoginIntegration> makeLoginIntegration()
{
    return makeLaunchdLoginIntegration(host().homeDirectory());
}

} // namespace tolvane
