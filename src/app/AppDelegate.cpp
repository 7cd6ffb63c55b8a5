// The controller's creation, its initial state, the status code it records and the splash window.
#include "app/AppDelegate.h"

#include "common/BuildInfo.h"
#include "prefs/PathControl.h"
#include "prefs/Popover.h"

namespace tolvane {

AppDelegate::AppDelegate()
{
    // The controller hears the end of every command it launches, whichever operation launched it.
    connect(&host(), &Host::taskDidTerminate, this, &AppDelegate::checkRunTask);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationWillFinishLaunching()
{
    setVersion(ControllerVersion);
    setIsLoaded(false);
    setAutoStartOnLoad(true);
    setStatus(ServerStatusUndetermined);
    setLastStatus(ServerStatusUndetermined);
    setQuitReason(QuitReasonNone);
}

void AppDelegate::setNewStatus(std::int32_t code)
{
    setLastStatus(status());
    setStatus(code);
}

void AppDelegate::closeSplash()
{
    if (outlets.splash)
        outlets.splash->hide();
}

void AppDelegate::closeSplash(QObject*)
{
    closeSplash();
}

} // namespace tolvane
