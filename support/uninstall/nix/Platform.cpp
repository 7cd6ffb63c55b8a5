// The freedesktop side of the uninstall: user-dirs.dirs, the INI store and its login entries, the mount
// table of /proc, dpkg, pkexec or sudo, and the environments of the systemd user manager and D-Bus.
#include "../Platform.h"

#include "../Log.h"
#include "../Runner.h"
#include "../UserDirs.h"
#include "common/BuildInfo.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>
#include <unistd.h>

namespace tolvane::uninstall {

std::vector<NamedFolder> wellKnownFolders(const QProcessEnvironment& environment, const QString& home,
                                          const QString& configFolder)
{
    std::vector<NamedFolder> folders;
    QFile file(configFolder + QStringLiteral("/user-dirs.dirs"));
    if (file.open(QIODevice::ReadOnly))
        folders = parseUserDirs(QString::fromUtf8(file.readAll()), home);
    for (const QString& name : DefaultUserFolderNames)
        folders.push_back({name, home + QLatin1Char('/') + name});
    // The user's data folder holds the Trash itself.
    const QString dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
    folders.push_back({QStringLiteral("XDG_DATA_HOME"),
                       QDir::isAbsolutePath(dataHome) ? dataHome : home + QStringLiteral("/.local/share")});
    return folders;
}

std::vector<SystemFolder> systemFolders()
{
    std::vector<SystemFolder> folders;
    // The other system's names too: a folder of such a name is no user's data here either.
    for (const char* path :
         {"/usr", "/etc", "/opt", "/var", "/bin", "/sbin", "/boot", "/srv", "/root", "/dev", "/proc", "/sys",
          "/run", "/snap", "/Applications", "/Library", "/System"})
        folders.push_back({QString::fromLatin1(path), false});
    // /lib, /lib32, /lib64, /libx32, ...
    for (const QString& name :
         QDir(QStringLiteral("/")).entryList({QStringLiteral("lib*")}, QDir::AllEntries))
        folders.push_back({QLatin1Char('/') + name, false});
    // Where homes and disks live: the folders themselves, not what is inside them.
    for (const char* path : {"/home", "/media", "/mnt", "/Users", "/Volumes"})
        folders.push_back({QString::fromLatin1(path), true});
    return folders;
}

QStringList settingsPaths(const QString&, const QString& configFolder)
{
    return {configFolder + QLatin1Char('/') + PreferencesFile,
            configFolder + QStringLiteral("/autostart/") + LoginEntryName + QStringLiteral(".desktop"),
            configFolder + QStringLiteral("/environment.d/") + LoginEntryName + QStringLiteral(".conf")};
}

QStringList settingsFolders(const QString&, const QString& configFolder)
{
    const QString file = configFolder + QLatin1Char('/') + PreferencesFile;
    return {file.left(file.lastIndexOf(QLatin1Char('/')))};
}

namespace {

// A mountinfo field with its octal escapes (\040 for a blank) undone.
QString mountField(const QByteArray& field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

} // namespace

QStringList mountPoints()
{
    QStringList points;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return points;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4)
            points.append(mountField(fields[4]));
    }
    return points;
}

std::optional<QString> owningPackage(const QString& tool, Log& log)
{
    if (findProgram(QStringLiteral("dpkg-query")).isEmpty())
        return std::nullopt;
    const RunResult result = runBounded(QStringLiteral("dpkg-query"), {QStringLiteral("-S"), tool}, {});
    if (result.ended)
        log.line(
            QStringLiteral("dpkg-query did not answer in time; the tool counts as belonging to no package"));
    if (result.exitCode != 0)
        return std::nullopt;
    static const QRegularExpression packageName(QStringLiteral("^[a-z0-9][a-z0-9+.:-]*$"));
    for (const QString& line : QString::fromUtf8(result.output).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("diversion by ")) || !line.contains(QLatin1String(": ")))
            continue;
        const QString package =
            line.section(QLatin1String(": "), 0, 0).section(QLatin1Char(','), 0, 0).trimmed();
        if (packageName.match(package).hasMatch())
            return package;
    }
    return std::nullopt;
}

std::optional<Command> administratorCommand(const QStringList& command,
                                            const QProcessEnvironment& environment, QString* missing)
{
    const bool graphical = !environment.value(QStringLiteral("DISPLAY")).isEmpty() ||
                           !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    const QString pkexec = findProgram(QStringLiteral("pkexec"));
    const QString sudo = findProgram(QStringLiteral("sudo"));
    if (graphical && !pkexec.isEmpty())
        return Command{pkexec, command, false};
    if (!sudo.isEmpty())
        return Command{sudo, command, true};
    if (!pkexec.isEmpty())
        return Command{pkexec, command, false};
    *missing = QStringLiteral("cannot get administrator rights: neither pkexec nor sudo is installed");
    return std::nullopt;
}

QStringList packageRemovalCommand(const QString& package)
{
    QString dpkg = findProgram(QStringLiteral("dpkg"));
    if (dpkg.isEmpty())
        dpkg = QStringLiteral("/usr/bin/dpkg");
    return {dpkg, QStringLiteral("-r"), package};
}

QString prepareTrash(const QProcessEnvironment& environment, const QString& home, const QString& path)
{
    const QString dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
    const QString folder = QDir::isAbsolutePath(dataHome) ? dataHome : home + QStringLiteral("/.local/share");
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return QStringLiteral("the folder %1 that holds the Trash cannot be made").arg(folder);
    const auto writable = [](const QString& entry) {
        return ::access(QFile::encodeName(entry).constData(), W_OK | X_OK) == 0;
    };
    if (!writable(folder))
        return QStringLiteral("the folder %1 that holds the Trash cannot be written").arg(folder);
    // Every Trash the move may choose: the home Trash, and on another disk the disk's own.
    QStringList trashes{folder + QStringLiteral("/Trash")};
    const QStorageInfo source(path);
    if (source.isValid() && source != QStorageInfo(home)) {
        const QString user = QString::number(::getuid());
        trashes << source.rootPath() + QStringLiteral("/.Trash/") + user
                << source.rootPath() + QStringLiteral("/.Trash-") + user;
    }
    for (const QString& trash : trashes) {
        for (const QString& entry :
             {trash, trash + QStringLiteral("/info"), trash + QStringLiteral("/files")}) {
            if (QFileInfo::exists(entry) && !writable(entry))
                return QStringLiteral("the Trash folder %1 cannot be written").arg(entry);
        }
    }
    return {};
}

void beforeRemovingSetting(const QString&, Log&) {}

void unsetSessionVariable(const QString& name, Log& log)
{
    // The D-Bus activation environment has no way to drop a variable: an empty value is what reaches the
    // programs it starts, and an empty TOLVANE_HOME counts as none. The systemd user manager drops it.
    const QList<std::pair<QString, QStringList>> commands = {
        {QStringLiteral("dbus-update-activation-environment"), {name + QLatin1Char('=')}},
        {QStringLiteral("systemctl"), {QStringLiteral("--user"), QStringLiteral("unset-environment"), name}},
    };
    for (const auto& [program, arguments] : commands) {
        if (findProgram(program).isEmpty()) {
            log.line(
                QStringLiteral("%1 is not installed, so %2 stays in its environment until the next login")
                    .arg(program, name));
            continue;
        }
        const RunResult result = runBounded(program, arguments, {});
        const QString command = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
        if (result.exitCode == 0)
            log.line(QStringLiteral("%1: done").arg(command));
        else
            log.line(QStringLiteral("%1 failed (no session?): %2; %3 goes at the next login")
                         .arg(command, result.said().isEmpty() ? result.failure : result.said(), name));
    }
}

} // namespace tolvane::uninstall
