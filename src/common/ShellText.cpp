// Quoting and escaping for the shell.
#include "common/ShellText.h"

#include <QRegularExpression>

namespace tolvane {

QString shellQuoted(const QString& text)
{
    static const QRegularExpression plainWord(QStringLiteral("^[A-Za-z0-9_./:+,=@%-]+$"));
    if (plainWord.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString escapedForDoubleQuotes(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('$') || c == QLatin1Char('`') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

QString commandWord(const QString& commandLine)
{
    return commandLine.split(QLatin1Char(' ')).last();
}

} // namespace tolvane
