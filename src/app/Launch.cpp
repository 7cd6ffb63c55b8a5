// The controller's own sequence from launch to termination: the launch, reopen, Quit and the
// notification that says why the application ended.
#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "prefs/HelpTexts.h"
#include "prefs/Preferences.h"
#include "server/Paths.h"

#include <QApplication>
#include <chrono>

namespace tolvane {

namespace {

using namespace std::chrono_literals;

constexpr auto SplashDuration = 100ms;

const QString SetupIncompleteAlert =
    QStringLiteral("The Tolvane installation is not complete, please re-install Tolvane. \n\nRefer to the "
                   "Console app for details.");
const QString StatusItemToolTip = QStringLiteral("Click to show the Tolvane menu items.");
const QString QuitQuestion = QStringLiteral("This will stop and quit Tolvane, are you sure?");
const QString LoadedWithoutStartText =
    QStringLiteral("Tolvane is now loaded, click on the Start Tolvane menu to get started.");
const QString StoppedAndQuitText = QStringLiteral("Tolvane is now stopped and quit.");
const QString QuitForUninstallText = QStringLiteral("Tolvane was quit to complete the uninstall process.");
const QString QuitForSetupText = QStringLiteral("Tolvane was quit because the required setup is incomplete.");
const QString ReopenedText = QStringLiteral("Tolvane was opened again.");

} // namespace

void AppDelegate::applicationDidFinishLaunching()
{
    host().scheduleTimer(SplashDuration, false, [this] { closeSplash(); });

    // The controller answers the notification service's presentation question with YES; the host
    // shows every notification, also while the controller is the active application.

    if (!checkSetup(true)) {
        alert(SetupIncompleteAlert);
        host().terminate();
        return;
    }

    registerDefaultPreferences();

    // Whether the server starts at launch is the user's choice; absent means yes.
    const QVariant autoStart = host().userDefaults().value(AutoStartOnLoadKey);
    if (autoStart.isValid())
        setAutoStartOnLoad(autoStart.toBool());

    outlets.statusItem = std::make_unique<StatusItem>();
    outlets.statusItem->setImage(FaviconImage);
    outlets.statusItem->setMenu(outlets.statusMenu.get());
    outlets.statusItem->setHighlightMode(true);
    outlets.statusItem->setToolTip(StatusItemToolTip);
    host().setNotificationFallback(&outlets.statusItem->trayIcon());

    if (outlets.tolvaneDataHelp)
        outlets.tolvaneDataHelp->setToolTip(DataHelpShort);
    if (outlets.tolvaneUninstallHelp)
        outlets.tolvaneUninstallHelp->setToolTip(UninstallHelp);

    startTolvaneTimer();

    if (autoStartOnLoad()) {
        startFunction();
    } else {
        showNotification(LoadedWithoutStartText, QString());
        getTolvaneStatus();
    }
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (!hasVisibleWindows)
        showPreferences();
    return true;
}

bool AppDelegate::hasVisibleWindows() const
{
    // The controller's own windows and an alert count; the status item does not, although an XEmbed tray
    // makes its icon a visible top-level widget.
    return (outlets.splash && outlets.splash->isVisible()) ||
           (outlets.window && outlets.window->isVisible()) || QApplication::activeModalWidget() != nullptr;
}

void AppDelegate::reopen()
{
    host().log(ReopenedText);
    applicationShouldHandleReopen(hasVisibleWindows());
}

void AppDelegate::quitApplcation(QObject*)
{
    if (!confirm(QuitQuestion))
        return;
    // With the server executable missing there is nothing to stop, and the application quits all the
    // same; the closing notification then says that the setup is incomplete.
    if (checkTolvaneExecutable())
        stopFunction(true);
    host().terminate();
}

void AppDelegate::applicationWillTerminate()
{
    QString subtitle;
    if (checkSetup(false))
        subtitle = StoppedAndQuitText;
    else if (quitReason() == QuitReasonUninstall)
        subtitle = QuitForUninstallText;
    else
        subtitle = QuitForSetupText;
    showNotification(subtitle, QString());
    m_terminated = true;
}

} // namespace tolvane
