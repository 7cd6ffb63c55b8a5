// The preferences store and the Preferences window: first-run registration, load, Apply and discard.
#include "prefs/Preferences.h"

#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "prefs/Checkbox.h"
#include "prefs/PathControl.h"
#include "server/Paths.h"

#include <QApplication>

namespace tolvane {

namespace {

const QString NoDefaultDataPathText =
    QStringLiteral("The default Tolvane data path is nil, please check the "
                   "TOLVANE_HOME environment variable value or re-install Tolvane.");
const QString CannotSaveText =
    QStringLiteral("Sorry but your preferences cannot be saved, please check the Console logs.");
// The version label once the first run is behind: the version's series.
const QString RegisteredVersionLabelFormat = QStringLiteral("%1.x");

} // namespace

bool AppDelegate::registerDefaultPreferences()
{
    const std::optional<QString> dataPath = getTolvaneDataPath();
    if (!dataPath) {
        host().log(NoDefaultDataPathText);
        return false;
    }
    const QList<std::pair<QString, QVariant>> firstRunValues = {
        {VersionKey, version()},
        {AutoLoadOnLoginKey, true},
        {AutoStartOnLoadKey, true},
        {CustomTolvaneDataKey, *dataPath},
    };
    QSettings& store = host().userDefaults();
    if (store.contains(VersionKey)) {
        if (outlets.tolvaneVersion)
            outlets.tolvaneVersion->setText(RegisteredVersionLabelFormat.arg(version()));
        return false;
    }
    for (const auto& [key, value] : firstRunValues)
        store.setValue(key, value);
    host().synchronizeUserDefaults();
    setEnvVarsAndPlist();
    return true;
}

void AppDelegate::loadPreferences()
{
    registerDefaultPreferences();
    const std::optional<QString> dataPath = getTolvaneDataPath();
    if (!dataPath)
        showNotification(DataFolderNotFoundText, QString());
    if (outlets.customTolvaneData)
        outlets.customTolvaneData->setStringValue(dataPath ? standardizePath(*dataPath) : QString());

    QSettings& store = host().userDefaults();
    // An absent choice counts as yes, as at first run.
    const QVariant autoLoad = store.value(AutoLoadOnLoginKey);
    if (outlets.loadOnLogin)
        setCheckboxState(*outlets.loadOnLogin, !autoLoad.isValid() || autoLoad.toBool() ? StateOn : StateOff);
    const QVariant autoStart = store.value(AutoStartOnLoadKey);
    if (outlets.startOnLoad)
        setCheckboxState(*outlets.startOnLoad,
                         !autoStart.isValid() || autoStart.toBool() ? StateOn : StateOff);
}

void AppDelegate::savePreferences()
{
    stopFunction(false);

    QSettings& store = host().userDefaults();
    if (outlets.loadOnLogin)
        store.setValue(AutoLoadOnLoginKey, checkboxState(*outlets.loadOnLogin) != StateOff);
    if (outlets.startOnLoad)
        store.setValue(AutoStartOnLoadKey, checkboxState(*outlets.startOnLoad) != StateOff);
    if (outlets.customTolvaneData) {
        const QString chosen = outlets.customTolvaneData->url().toLocalFile();
        if (pathExists(chosen))
            store.setValue(CustomTolvaneDataKey, chosen);
    }
    if (!host().synchronizeUserDefaults())
        showNotification(CannotSaveText, QString());

    setEnvVarsAndPlist();

    if (outlets.window)
        outlets.window->hide();
}

void AppDelegate::discardPreferences()
{
    if (outlets.window)
        outlets.window->hide();
}

void AppDelegate::showPreferences()
{
    closeSplash();
    loadPreferences();
    if (outlets.window) {
        // Floating above ordinary windows, and in front although the controller lives in the status bar.
        if (!outlets.window->testAttribute(Qt::WA_WState_Created) ||
            !outlets.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            outlets.window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        // Activating the window alone does not bring a menu-bar application to the front.
        host().activateApplication();
        outlets.window->show();
        outlets.window->raise();
        outlets.window->activateWindow();
    }
    if (outlets.savePrefs)
        outlets.savePrefs->setEnabled(false);
    showQuitButtonWithoutTray();
}

void AppDelegate::showPreferences(QObject*)
{
    showPreferences();
}

void AppDelegate::hidePreferences(QObject*)
{
    if (outlets.window)
        outlets.window->hide();
}

void AppDelegate::savePreferences(QObject*)
{
    savePreferences();
}

void AppDelegate::discardPreferences(QObject*)
{
    discardPreferences();
}

void AppDelegate::customTolvaneData(QObject*)
{
    if (outlets.savePrefs)
        outlets.savePrefs->setEnabled(true);
}

void AppDelegate::loadOnLogin(QObject*)
{
    if (outlets.savePrefs)
        outlets.savePrefs->setEnabled(true);
}

void AppDelegate::startOnLoad(QObject*)
{
    if (outlets.savePrefs)
        outlets.savePrefs->setEnabled(true);
}

} // namespace tolvane
