// The launchd adapter: a user launch agent that sets TOLVANE_HOME in the launchd session at every login
// and, when asked, opens the controller. Compiled on every platform so that its texts are tested on
// Linux too.
#include "common/AtomicFile.h"
#include "common/ShellText.h"
#include "common/UnicodeText.h"
#include "prefs/LoginIntegration.h"

#include <QDir>

namespace tolvane {

namespace {

const QString AgentLabel = LoginEntryName + QStringLiteral(".plist");

// XML 1.0 holds tab, line feed, carriage return and everything from U+0020 on except U+FFFE and
// U+FFFF. A text with anything else cannot be written as a property list that a parser would accept.
bool xmlCanHold(const QString& text)
{
    return holdsOnly(text, [](char32_t c) {
        return c >= 0x20 ? c != 0xFFFE && c != 0xFFFF : c == U'\t' || c == U'\n' || c == U'\r';
    });
}

// Escapes markup; a carriage return becomes a character reference because parsers turn a literal one
// into a line feed.
QString xmlEscaped(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            escaped += QLatin1String("&amp;");
            break;
        case u'<':
            escaped += QLatin1String("&lt;");
            break;
        case u'>':
            escaped += QLatin1String("&gt;");
            break;
        case u'\r':
            escaped += QLatin1String("&#13;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// A string as the platform's dictionary description prints it: bare when it is one plain word,
// otherwise quoted with C-like escapes.
QString describedString(const QString& text)
{
    bool plain = !text.isEmpty();
    for (const QChar c : text) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('_')) {
            plain = false;
            break;
        }
    }
    if (plain)
        return text;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            quoted += QLatin1String("\\\"");
            break;
        case u'\\':
            quoted += QLatin1String("\\\\");
            break;
        case u'\n':
            quoted += QLatin1String("\\n");
            break;
        case u'\r':
            quoted += QLatin1String("\\r");
            break;
        case u'\t':
            quoted += QLatin1String("\\t");
            break;
        default:
            quoted += c;
        }
    }
    quoted += QLatin1Char('"');
    return quoted;
}

class LaunchdLoginIntegration final : public LoginIntegration {
public:
    explicit LaunchdLoginIntegration(const QString& homeDirectory)
        : m_agentsFolder(homeDirectory + QStringLiteral("/Library/LaunchAgents/"))
    {
    }

    QStringList agentFolders() const override { return {m_agentsFolder}; }

    QString agentFilePath() const override { return m_agentsFolder + AgentLabel; }

    QString setCommand(const QString& dataLocation) const override
    {
        return QStringLiteral("launchctl setenv TOLVANE_HOME \"%1\"")
            .arg(escapedForDoubleQuotes(dataLocation));
    }

    QString agentCommand(const LoginAgent& agent) const override
    {
        QString command = setCommand(agent.dataLocation);
        if (agent.openAtLogin)
            command += QStringLiteral(" ; open ") + shellQuoted(agent.bundlePath);
        return command;
    }

    QString describe(const LoginAgent& agent) const override
    {
        const QStringList arguments = programArguments(agent);
        QStringList described;
        for (const QString& argument : arguments)
            described << QStringLiteral("        ") + describedString(argument);
        return QStringLiteral("{\n"
                              "    Label = %1;\n"
                              "    ProgramArguments = (\n"
                              "%2\n"
                              "    );\n"
                              "    RunAtLoad = 1;\n"
                              "    version = %3;\n"
                              "}")
            .arg(describedString(AgentLabel), described.join(QStringLiteral(",\n")),
                 describedString(agent.version));
    }

    bool writeAgent(const LoginAgent& agent) override
    {
        const QStringList arguments = programArguments(agent);
        for (const QString& text : arguments + QStringList{agent.version}) {
            if (!xmlCanHold(text))
                return false;
        }
        QString strings;
        for (const QString& argument : arguments)
            strings += QStringLiteral("\t\t<string>%1</string>\n").arg(xmlEscaped(argument));
        const QString document = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                                "<plist version=\"1.0\">\n"
                                                "<dict>\n"
                                                "\t<key>Label</key>\n"
                                                "\t<string>%1</string>\n"
                                                "\t<key>ProgramArguments</key>\n"
                                                "\t<array>\n"
                                                "%2"
                                                "\t</array>\n"
                                                "\t<key>RunAtLoad</key>\n"
                                                "\t<true/>\n"
                                                "\t<key>version</key>\n"
                                                "\t<string>%3</string>\n"
                                                "</dict>\n"
                                                "</plist>\n")
                                     .arg(xmlEscaped(AgentLabel), strings, xmlEscaped(agent.version));

        // The folder normally exists already; creating it here keeps a first write from failing.
        QDir().mkpath(m_agentsFolder);
        return writeFileAtomically(agentFilePath(), document.toUtf8());
    }

private:
    QStringList programArguments(const LoginAgent& agent) const
    {
        return {QStringLiteral("sh"), QStringLiteral("-c"), agentCommand(agent)};
    }

    QString m_agentsFolder;
};

} // namespace

std::unique_ptr<LoginIntegration> makeLaunchdLoginIntegration(const QString& homeDirectory)
{
    return std::make_unique<LaunchdLoginIntegration>(homeDirectory);
}

} // namespace tolvane
