// The freedesktop adapter: an environment.d entry that sets TOLVANE_HOME for the systemd user session at
// every login, and an XDG autostart entry that repeats the setting for the D-Bus activation environment
// and, when asked, opens the controller. Compiled on every platform so that it is tested everywhere.
#include "common/AtomicFile.h"
#include "common/ShellText.h"
#include "common/UnicodeText.h"
#include "prefs/LoginIntegration.h"

#include <QDir>
#include <optional>

namespace tolvane {

namespace {

const QString EntryName = LoginEntryName;

// Neither file format holds a line feed, carriage return or other control character in a value (the
// environment.d reader drops such a value; a desktop entry value is one line). A tab is the one control
// character both can hold.
bool entriesCanHold(const QString& text)
{
    return holdsOnly(text, [](char32_t c) { return c == U'\t' || (c >= 0x20 && c != 0x7F); });
}

// The environment.d value: double-quoted with shell-like escapes, and each "$" doubled first because the
// reader expands variables in the unquoted value, where "$$" stands for one "$".
QString environmentValue(const QString& text)
{
    QString value = text;
    value.replace(QLatin1Char('$'), QLatin1String("$$"));
    return QLatin1Char('"') + escapedForDoubleQuotes(value) + QLatin1Char('"');
}

// A desktop entry string value: backslash and tab written as escapes.
QString desktopValue(const QString& text)
{
    QString value;
    value.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            value += QLatin1String("\\\\");
        else if (c == QLatin1Char('\t'))
            value += QLatin1String("\\t");
        else
            value += c;
    }
    return value;
}

// The Exec value: the command as one double-quoted argument of "sh -c", with the reserved characters
// escaped, then the string-value escapes, then "%" doubled so that no field code is seen.
QString execValue(const QString& command)
{
    const QString line = QStringLiteral("sh -c \"%1\"").arg(escapedForDoubleQuotes(command));
    QString value = desktopValue(line);
    value.replace(QLatin1Char('%'), QLatin1String("%%"));
    return value;
}

// A version for a comment line, which ends at the first line break.
QString commentText(const QString& text)
{
    QString comment = text;
    for (QChar& c : comment) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return comment;
}

class FreedesktopLoginIntegration final : public LoginIntegration {
public:
    explicit FreedesktopLoginIntegration(const QString& configHome)
        : m_autostartFolder(configHome + QStringLiteral("/autostart/")),
          m_environmentFolder(configHome + QStringLiteral("/environment.d/"))
    {
    }

    QStringList agentFolders() const override { return {m_autostartFolder, m_environmentFolder}; }

    QString agentFilePath() const override
    {
        return m_autostartFolder + EntryName + QStringLiteral(".desktop");
    }

    QString setCommand(const QString& dataLocation) const override
    {
        return QStringLiteral("dbus-update-activation-environment --systemd TOLVANE_HOME=\"%1\"")
            .arg(escapedForDoubleQuotes(dataLocation));
    }

    // On Linux the "bundle" is the controller executable itself, run directly.
    QString agentCommand(const LoginAgent& agent) const override
    {
        QString command = setCommand(agent.dataLocation);
        if (agent.openAtLogin)
            command += QStringLiteral(" ; ") + shellQuoted(agent.bundlePath);
        return command;
    }

    QString describe(const LoginAgent& agent) const override
    {
        const std::optional<QString> environment = environmentText(agent);
        const std::optional<QString> autostart = autostartText(agent);
        const QString unwritable = QStringLiteral("(cannot be written: the data location or the application "
                                                  "path holds a line break or another control character)\n");
        return QStringLiteral("%1:\n%2%3:\n%4")
            .arg(environmentFilePath(), environment.value_or(unwritable), agentFilePath(),
                 autostart.value_or(unwritable));
    }

    bool writeAgent(const LoginAgent& agent) override
    {
        // Both texts are made before either file is touched, so that a value neither can hold leaves
        // the old entries as they were.
        const std::optional<QString> environment = environmentText(agent);
        const std::optional<QString> autostart = autostartText(agent);
        if (!environment || !autostart)
            return false;
        // The folders normally exist already; creating them here keeps a first write from failing.
        QDir().mkpath(m_environmentFolder);
        QDir().mkpath(m_autostartFolder);
        // The two entries are one setting: both are replaced, or neither, so that a login never reads
        // a new data location from one and the old one from the other.
        return writeFilesAtomically(
            {{environmentFilePath(), environment->toUtf8()}, {agentFilePath(), autostart->toUtf8()}});
    }

private:
    QString environmentFilePath() const { return m_environmentFolder + EntryName + QStringLiteral(".conf"); }

    std::optional<QString> environmentText(const LoginAgent& agent) const
    {
        if (!entriesCanHold(agent.dataLocation))
            return std::nullopt;
        return QStringLiteral("# Written by the Tolvane controller %1\nTOLVANE_HOME=%2\n")
            .arg(commentText(agent.version), environmentValue(agent.dataLocation));
    }

    std::optional<QString> autostartText(const LoginAgent& agent) const
    {
        if (!entriesCanHold(agent.dataLocation) || (agent.openAtLogin && !entriesCanHold(agent.bundlePath)) ||
            !entriesCanHold(agent.version))
            return std::nullopt;
        return QStringLiteral("[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Tolvane\n"
                              "Comment=Sets the Tolvane data folder for the session%1\n"
                              "Exec=%2\n"
                              "Icon=tolvane\n"
                              "NoDisplay=true\n"
                              "X-GNOME-Autostart-enabled=true\n"
                              "X-Tolvane-Version=%3\n")
            .arg(agent.openAtLogin ? QStringLiteral(" and opens the Tolvane controller") : QString(),
                 execValue(agentCommand(agent)), desktopValue(agent.version));
    }

    QString m_autostartFolder;
    QString m_environmentFolder;
};

} // namespace

std::unique_ptr<LoginIntegration> makeFreedesktopLoginIntegration(const QString& configHome)
{
    return std::make_unique<FreedesktopLoginIntegration>(configHome);
}

} // namespace tolvane
