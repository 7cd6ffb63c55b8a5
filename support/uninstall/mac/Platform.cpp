// The macOS side of the uninstall: the system's own list of the user's folders, the preferences domain
// and the launch agent, the mount table of getmntinfo, and the administrator prompt of osascript.
#include "../Platform.h"

#include "../Log.h"
#include "../Runner.h"
#include "common/BuildInfo.h"
#include "common/ShellText.h"
#include "platform/UserDefaults.h"

#include <QStandardPaths>
#include <QStorageInfo>
#include <utility>

namespace tolvane::uninstall {

std::vector<NamedFolder> wellKnownFolders(const QProcessEnvironment&, const QString& home, const QString&)
{
    std::vector<NamedFolder> folders;
    const std::pair<QStandardPaths::StandardLocation, const char*> locations[] = {
        {QStandardPaths::DesktopLocation, "Desktop"},    {QStandardPaths::DocumentsLocation, "Documents"},
        {QStandardPaths::DownloadLocation, "Downloads"}, {QStandardPaths::MoviesLocation, "Movies"},
        {QStandardPaths::MusicLocation, "Music"},        {QStandardPaths::PicturesLocation, "Pictures"}};
    for (const auto& [location, name] : locations) {
        for (const QString& path : QStandardPaths::standardLocations(location))
            folders.push_back({QString::fromLatin1(name), path});
    }
    for (const char* name : {"Library", "Public", "Applications"})
        folders.push_back({QString::fromLatin1(name), home + QLatin1Char('/') + QString::fromLatin1(name)});
    return folders;
}

std::vector<SystemFolder> systemFolders()
{
    std::vector<SystemFolder> folders;
    for (const char* path : {"/Applications", "/Library", "/System", "/usr", "/etc", "/opt", "/var", "/bin",
                             "/sbin", "/private", "/cores", "/dev"})
        folders.push_back({QString::fromLatin1(path), false});
    for (const char* path : {"/Users", "/Volumes"})
        folders.push_back({QString::fromLatin1(path), true});
    return folders;
}

QStringList settingsPaths(const QString& home, const QString&)
{
    return {home + QStringLiteral("/Library/LaunchAgents/") + LoginEntryName + QStringLiteral(".plist"),
            home + QStringLiteral("/Library/Preferences/") + PreferencesDomain + QStringLiteral(".plist")};
}

QStringList settingsFolders(const QString&, const QString&)
{
    return {};
}

QStringList mountPoints()
{
    // Qt reads the system's mount table (getmntinfo) and lists every mounted volume.
    QStringList points;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        points.append(volume.rootPath());
    return points;
}

std::optional<QString> owningPackage(const QString&, Log&)
{
    return std::nullopt;
}

std::optional<Command> administratorCommand(const QStringList& command, const QProcessEnvironment&,
                                            QString* missing)
{
    const QString osascript = findProgram(QStringLiteral("osascript"));
    if (osascript.isEmpty()) {
        *missing = QStringLiteral("cannot get administrator rights: osascript is missing");
        return std::nullopt;
    }
    // The command reaches the script as an argument, never as part of its source; each word is quoted
    // for the shell that "do shell script" runs.
    QStringList words;
    for (const QString& word : command)
        words.append(shellQuoted(word));
    return Command{osascript,
                   {QStringLiteral("-e"), QStringLiteral("on run argv"), QStringLiteral("-e"),
                    QStringLiteral("do shell script (item 1 of argv) with administrator privileges"),
                    QStringLiteral("-e"), QStringLiteral("end run"), words.join(QLatin1Char(' '))},
                   false};
}

QStringList packageRemovalCommand(const QString& package)
{
    return {package};
}

QString prepareTrash(const QProcessEnvironment&, const QString&, const QString&)
{
    // The file manager's own Trash call finds the Trash.
    return {};
}

void beforeRemovingSetting(const QString& path, Log& log)
{
    // Through defaults first, so that the preferences daemon drops its cached copy too.
    if (!path.endsWith(PreferencesDomain + QStringLiteral(".plist")))
        return;
    const RunResult result =
        runBounded(QStringLiteral("defaults"), {QStringLiteral("delete"), PreferencesDomain}, {});
    log.line(result.exitCode == 0
                 ? QStringLiteral("deleted the preferences domain %1").arg(PreferencesDomain)
                 : QStringLiteral("no preferences domain %1 to delete").arg(PreferencesDomain));
}

void unsetSessionVariable(const QString& name, Log& log)
{
    const RunResult result = runBounded(QStringLiteral("launchctl"), {QStringLiteral("unsetenv"), name}, {});
    log.line(result.exitCode == 0
                 ? QStringLiteral("unset %1 in the login session").arg(name)
                 : QStringLiteral("launchctl unsetenv %1 failed; it goes at the next login").arg(name));
}

} // namespace tolvane::uninstall
