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
// How long after launch a tray has to have come before the Preferences window stands in for it.
constexpr auto TrayWaitLimit = 10s;
// How long a host that appeared gets to learn of the item from the toolkit before the controller looks.
constexpr auto RegistrationCheckDelay = 2s;

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
const QString NoTrayText = QStringLiteral(
    "No system tray was found: the Tolvane Preferences window stands in for the Tolvane menu.");
const QString WaitingForTrayLog =
    QStringLiteral("No system tray runs yet: the status item is placed once a tray host appears.");
const QString TrayHostAppearedLog = QStringLiteral("A system tray host appeared.");
const QString ItemNotRegisteredLog =
    QStringLiteral("The tray host does not list the status item: it is placed in the tray again.");
const QString NoTrayLog =
    QStringLiteral("No system tray was found: the Preferences window stands in for it.");

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
    connect(&host(), &Host::trayHostAppeared, this, &AppDelegate::trayHostAppeared, Qt::UniqueConnection);
    if (host().statusItemFindsLaterTrays() || host().trayAvailable())
        placeStatusItem();
    else
        host().log(WaitingForTrayLog);

    if (outlets.tolvaneDataHelp)
        outlets.tolvaneDataHelp->setToolTip(DataHelpShort);
    if (outlets.tolvaneUninstallHelp)
        outlets.tolvaneUninstallHelp->setToolTip(UninstallHelp);

    startTolvaneTimer();
    host().scheduleTimer(TrayWaitLimit, false, [this] { checkTray(); });

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

void AppDelegate::placeStatusItem()
{
    outlets.statusItem->place();
    host().setNotificationFallback(outlets.statusItem->trayIcon());
}

void AppDelegate::trayHostAppeared()
{
    // Before the launch has made the item, or after it ended in termination, there is nothing to place.
    if (!outlets.statusItem || m_terminated)
        return;
    host().log(TrayHostAppearedLog);
    // Qt registers an item it made with a watcher that appears, but only once, and a call that comes
    // before the watcher can take it is lost: a little later the controller looks, and places the item
    // again when the host does not list it.
    if (outlets.statusItem->isPlaced())
        host().scheduleTimer(RegistrationCheckDelay, false, [this] { checkStatusItemRegistered(); });
    else
        placeStatusItem();
    showQuitButtonWithoutTray();
}

void AppDelegate::checkStatusItemRegistered()
{
    if (!outlets.statusItem || m_terminated || host().statusItemRegistered())
        return;
    host().log(ItemNotRegisteredLog);
    outlets.statusItem->placeAgain();
}

void AppDelegate::checkTray()
{
    showQuitButtonWithoutTray();
    if (host().trayAvailable())
        return;
    host().log(NoTrayLog);
    showPreferences();
    if (outlets.tabs && outlets.serverTab)
        outlets.tabs->setCurrentWidget(outlets.serverTab);
    showNotification(NoTrayText, QString());
}

void AppDelegate::showQuitButtonWithoutTray()
{
    if (outlets.quitButton)
        outlets.quitButton->setVisible(!host().trayAvailable());
}

void AppDelegate::quitButton(QObject* sender)
{
    quitApplcation(sender);
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
