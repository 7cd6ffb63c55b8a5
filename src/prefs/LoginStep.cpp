// The login step of Apply: TOLVANE_HOME set at once for the programs the session starts from now on,
// and a login entry that repeats it at every login and, when asked, opens the controller.
#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "prefs/LoginIntegration.h"
#include "prefs/Preferences.h"
#include "server/Paths.h"

#include <QDir>

namespace tolvane {

namespace {

const QString CreateFolderFailedFormat = QStringLiteral("Failed to create %1 directory");
const QString SettingFormat = QStringLiteral("Setting TOLVANE_HOME environment variable to %1...");
const QString SetFailedText = QStringLiteral("Failed to set TOLVANE_HOME env.");
const QString WritingFormat =
    QStringLiteral("Writing the .plist for the TOLVANE_HOME environment variable... %1");
const QString SavedFormat = QStringLiteral("Saved .plist file to %1");
const QString SucceededFormat = QStringLiteral("Successfully set TOLVANE_HOME env to %1.");
const QString SaveFailedFormat = QStringLiteral("Failed to save .plist file!  Result: %1");
// How an absent data location reads in the setting notice.
const QString AbsentValue = QStringLiteral("(null)");

} // namespace

bool AppDelegate::setEnvVarsAndPlist()
{
    // The next status result is presented as a change, whatever happens here.
    setNewStatus(ServerStatusUndetermined);

    // From a translocated copy the agent would name a bundle that is gone after the next restart:
    // nothing is set or written until the user has moved the product into place.
    if (host().bundleIsTranslocated()) {
        alert(TranslocatedText);
        return false;
    }

    const std::unique_ptr<LoginIntegration> integration = makeLoginIntegration();
    for (const QString& folder : integration->agentFolders()) {
        if (!pathExists(folder) && !QDir().mkpath(folder)) {
            host().log(CreateFolderFailedFormat.arg(folder));
            return false;
        }
    }

    const std::optional<QString> dataPath = getTolvaneDataPath();
    showNotification(SettingFormat.arg(dataPath.value_or(AbsentValue)), QString());
    if (!dataPath) {
        showNotification(DataFolderNotFoundText, QString());
        return false;
    }

    if (host().runSystem(integration->setCommand(*dataPath)) != 0) {
        showNotification(SetFailedText, QString());
        return false;
    }

    LoginAgent agent;
    agent.dataLocation = *dataPath;
    // Only a stored yes opens the controller at login; registration and Apply store the choice first.
    agent.openAtLogin = host().userDefaults().value(AutoLoadOnLoginKey, false).toBool();
    agent.bundlePath = host().bundlePath();
    agent.version = version();
    host().log(WritingFormat.arg(integration->describe(agent)));

    if (!integration->writeAgent(agent)) {
        host().log(SaveFailedFormat.arg(0));
        return false;
    }
    host().log(SavedFormat.arg(integration->agentFilePath()));
    showNotification(SucceededFormat.arg(*dataPath), QString());
    return true;
}

} // namespace tolvane
