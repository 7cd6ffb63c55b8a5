// The facts: from the environment, the preferences store and the file system, nothing changed.
#include "InstalledLayout.h"
#include "Log.h"
#include "Platform.h"
#include "Uninstall.h"
#include "platform/UserDefaults.h"
#include "server/DataLocation.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

namespace tolvane::uninstall {

Layout buildLayout()
{
    return {QStringLiteral(TOLVANE_UNINSTALL_CONTROLLER_FILE),
            QStringLiteral(TOLVANE_UNINSTALL_SERVER_IN_PRODUCT),
            QStringLiteral(TOLVANE_UNINSTALL_PREFIX_FROM_PRODUCT),
            QStringList{TOLVANE_UNINSTALL_OUTSIDE_FILES}};
}

Facts gatherFacts(const QProcessEnvironment& environment, const QString& toolPath, bool removeData, Log& log)
{
    const Layout layout = buildLayout();
    Facts facts;
    facts.removeData = removeData;
    facts.home = environment.value(QStringLiteral("HOME"));
    while (facts.home.size() > 1 && facts.home.endsWith(QLatin1Char('/')))
        facts.home.chop(1);
    facts.configFolder = userConfigFolder(environment, facts.home);
    facts.tool = toolPath;
    const QString toolFolder = QFileInfo(toolPath).path();
    const QString productFolder = environment.value(QStringLiteral("TOLVANE_PRODUCT_DIR"));
    facts.productFolder = productFolder.isEmpty() ? toolFolder : productFolder;
    facts.controller = toolFolder + QLatin1Char('/') + layout.controllerFile;

    QString executable = toolFolder + QLatin1Char('/') + layout.serverInProduct;
    if (environment.contains(ExecutableVariable) && pathExists(environment.value(ExecutableVariable)))
        executable = environment.value(ExecutableVariable);
    const QFileInfo executableInfo(executable);
    if (executableInfo.isExecutable() && !executableInfo.isDir())
        facts.serverExecutable = executable;
    else
        log.line(QStringLiteral("no server executable at %1, so no server to stop").arg(executable));

    // The data location exactly as the controller reads it.
    const auto store = openUserDefaults(environment, facts.home);
    facts.dataFolder = dataLocation(store->value(CustomTolvaneDataKey), environment, facts.home);

    facts.wellKnownFolders = wellKnownFolders(environment, facts.home, facts.configFolder);
    facts.systemFolders = systemFolders();
    facts.settings = settingsPaths(facts.home, facts.configFolder);
    facts.settingsFolders = settingsFolders(facts.home, facts.configFolder);
    facts.package = owningPackage(toolPath, log);
    facts.prefixFromProduct = layout.prefixFromProduct;
    facts.outsideFiles = layout.outsideFiles;
    facts.mountPoints = mountPoints();
    facts.privileged = ::geteuid() == 0;
    facts.adminAvailable =
        administratorCommand({QStringLiteral("/bin/true")}, environment, &facts.adminMissing).has_value();
    return facts;
}

} // namespace tolvane::uninstall
