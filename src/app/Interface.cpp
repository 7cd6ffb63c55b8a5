// The interface files: the windows, the status menu and the popover are built from them, the outlets
// are filled by object name and every action is connected to the controller.
#include "app/AppDelegate.h"
#include "common/BuildInfo.h"
#include "prefs/PathControl.h"
#include "prefs/Popover.h"
#include "ui_Popover.h"
#include "ui_Preferences.h"
#include "ui_Splash.h"
#include "ui_StatusMenu.h"

namespace tolvane {

namespace {

template <typename T> T* outlet(QObject* root, const char* name)
{
    T* found = root->findChild<T*>(QLatin1String(name));
    Q_ASSERT_X(found, "loadInterface", name);
    return found;
}

// Buttons and menu items send their action with themselves as the sender.
template <typename Sender, typename Signal>
void connectAction(AppDelegate* controller, Sender* sender, Signal signal,
                   void (AppDelegate::*action)(QObject*))
{
    QObject::connect(sender, signal, controller,
                     [controller, sender, action] { (controller->*action)(sender); });
}

} // namespace

void AppDelegate::loadInterface()
{
    auto splash = std::make_unique<QWidget>();
    Ui::Splash().setupUi(splash.get());
    splash->setWindowFlag(Qt::SplashScreen);

    auto window = std::make_unique<QWidget>();
    Ui::Preferences().setupUi(window.get());

    auto statusMenu = std::make_unique<QMenu>();
    Ui::StatusMenu().setupUi(statusMenu.get());

    // The popover belongs to the Preferences window, whose help buttons it explains.
    auto* popover = new Popover(window.get());
    popover->setObjectName(QStringLiteral("popover"));
    Ui::Popover().setupUi(popover);

    QWidget* w = window.get();
    outlets.startTolvane = outlet<QAction>(statusMenu.get(), "startTolvane");
    outlets.stopTolvane = outlet<QAction>(statusMenu.get(), "stopTolvane");
    outlets.openInBrowserMenu = outlet<QAction>(statusMenu.get(), "openInBrowserMenu");
    outlets.tolvaneVersion = outlet<QLabel>(w, "tolvaneVersion");
    outlets.customTolvaneData = outlet<PathControl>(w, "customTolvaneData");
    outlets.loadOnLogin = outlet<QCheckBox>(w, "loadOnLogin");
    outlets.startOnLoad = outlet<QCheckBox>(w, "startOnLoad");
    outlets.tolvaneDataHelp = outlet<QAbstractButton>(w, "tolvaneDataHelp");
    outlets.popover = popover;
    outlets.popoverMsg = outlet<QLabel>(popover, "popoverMsg");
    outlets.startButton = outlet<QAbstractButton>(w, "startButton");
    outlets.stopButton = outlet<QAbstractButton>(w, "stopButton");
    outlets.openBrowserButton = outlet<QAbstractButton>(w, "openBrowserButton");
    outlets.taskLogs = outlet<QPlainTextEdit>(w, "taskLogs");
    outlets.deleteTolvaneData = outlet<QCheckBox>(w, "deleteTolvaneData");
    outlets.tolvaneUninstallHelp = outlet<QAbstractButton>(w, "tolvaneUninstallHelp");
    outlets.savePrefs = outlet<QAbstractButton>(w, "savePrefs");
    outlets.aView = outlet<QWidget>(w, "aView");
    outlets.tabs = outlet<QTabWidget>(w, "tabs");
    outlets.serverTab = outlet<QWidget>(w, "serverTab");
    outlets.quitButton = outlet<QAbstractButton>(w, "quitButton");
    outlets.tolvaneVersion->setText(ControllerVersion);

    // Actions of the status menu.
    connectAction(this, outlets.startTolvane.data(), &QAction::triggered, &AppDelegate::start);
    connectAction(this, outlets.stopTolvane.data(), &QAction::triggered, &AppDelegate::stop);
    connectAction(this, outlets.openInBrowserMenu.data(), &QAction::triggered, &AppDelegate::open);
    connectAction(this, outlet<QAction>(statusMenu.get(), "showPreferencesMenu"), &QAction::triggered,
                  qOverload<QObject*>(&AppDelegate::showPreferences));
    connectAction(this, outlet<QAction>(statusMenu.get(), "quitMenu"), &QAction::triggered,
                  &AppDelegate::quitApplcation);

    // Actions of the Preferences window.
    connectAction(this, outlets.startButton.data(), &QAbstractButton::clicked, &AppDelegate::startButton);
    connectAction(this, outlets.stopButton.data(), &QAbstractButton::clicked, &AppDelegate::stopButton);
    connectAction(this, outlets.openBrowserButton.data(), &QAbstractButton::clicked,
                  &AppDelegate::openButton);
    connectAction(this, outlets.quitButton.data(), &QAbstractButton::clicked, &AppDelegate::quitButton);
    connectAction(this, outlets.savePrefs.data(), &QAbstractButton::clicked,
                  qOverload<QObject*>(&AppDelegate::savePreferences));
    connectAction(this, outlet<QAbstractButton>(w, "discardButton"), &QAbstractButton::clicked,
                  qOverload<QObject*>(&AppDelegate::discardPreferences));
    connectAction(this, outlets.customTolvaneData.data(), &PathControl::activated,
                  &AppDelegate::customTolvaneData);
    connectAction(this, outlets.loadOnLogin.data(), &QAbstractButton::clicked, &AppDelegate::loadOnLogin);
    connectAction(this, outlets.startOnLoad.data(), &QAbstractButton::clicked, &AppDelegate::startOnLoad);
    connectAction(this, outlets.tolvaneDataHelp.data(), &QAbstractButton::clicked,
                  &AppDelegate::tolvaneDataHelp);
    connectAction(this, outlets.tolvaneUninstallHelp.data(), &QAbstractButton::clicked,
                  &AppDelegate::uninstallHelp);
    connectAction(this, outlet<QAbstractButton>(w, "uninstallButton"), &QAbstractButton::clicked,
                  &AppDelegate::tolvaneUninstall);
    connectAction(this, outlet<QAbstractButton>(w, "clearLogsButton"), &QAbstractButton::clicked,
                  &AppDelegate::clearLogs);

    // Actions of the splash window.
    connectAction(this, outlet<QAbstractButton>(splash.get(), "closeSplashButton"), &QAbstractButton::clicked,
                  qOverload<QObject*>(&AppDelegate::closeSplash));

    outlets.splash = std::move(splash);
    outlets.window = std::move(window);
    outlets.statusMenu = std::move(statusMenu);

    // The splash window is on screen from the start.
    outlets.splash->show();
}

} // namespace tolvane
