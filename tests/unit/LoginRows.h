// What the login step leaves behind on the platform this build is for: its adapter's folders, files
// and set command, as the login-step and preferences tests expect them. Each platform has its own
// rows; the adapters themselves are tested on every platform in login/.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tolvane::testing {

struct LoginRows {
    QStringList folders;    // made by the step when missing, each with a trailing separator
    QStringList entryFiles; // every file the step writes; the first is the one the log names as saved
    QString variableFile;   // the entry that sets TOLVANE_HOME at login
    std::function<QStringList(const QString& location)> variableTexts; // what that entry holds for it
    QString setTool;                                                   // the program the set command runs
    std::function<QList<QByteArray>(const QString& location)> setArguments; // and what it gets
    QString opensController; // a text that only an entry that opens the controller holds
    bool lineFeedRefused;    // a data location with a line feed cannot be written into the entry
};

#ifdef Q_OS_MACOS
// A launch agent in ~/Library/LaunchAgents that runs `launchctl setenv` at login.
inline LoginRows loginRows(const QString& home)
{
    const QString agent = home + QStringLiteral("/Library/LaunchAgents/org.veltran.tolvane.user.plist");
    return LoginRows{{home + QStringLiteral("/Library/LaunchAgents/")},
                     {agent},
                     agent,
                     [](const QString& location) {
                         return QStringList{QStringLiteral("launchctl setenv TOLVANE_HOME "), location};
                     },
                     QStringLiteral("launchctl"),
                     [](const QString& location) {
                         return QList<QByteArray>{"setenv", "TOLVANE_HOME", location.toUtf8()};
                     },
                     QStringLiteral(" ; open "),
                     false};
}
#else
// An XDG autostart entry and an environment.d entry in the configuration folder (~/.config).
inline LoginRows loginRows(const QString& home)
{
    const QString config = home + QStringLiteral("/.config");
    const QString environmentEntry = config + QStringLiteral("/environment.d/org.veltran.tolvane.user.conf");
    return LoginRows{
        {config + QStringLiteral("/autostart/"), config + QStringLiteral("/environment.d/")},
        {config + QStringLiteral("/autostart/org.veltran.tolvane.user.desktop"), environmentEntry},
        environmentEntry,
        [](const QString& location) {
            return QStringList{QStringLiteral("TOLVANE_HOME=\"%1\"").arg(location)};
        },
        QStringLiteral("dbus-update-activation-environment"),
        [](const QString& location) {
            return QList<QByteArray>{"--systemd", (QStringLiteral("TOLVANE_HOME=") + location).toUtf8()};
        },
        QStringLiteral(" and opens the Tolvane controller"),
        true};
}
#endif

} // namespace tolvane::testing
