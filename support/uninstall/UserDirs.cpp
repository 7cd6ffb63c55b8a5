// user-dirs.dirs as GLib reads it.
#include "UserDirs.h"

namespace tolvane::uninstall {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

qsizetype skipBlanks(const QString& line, qsizetype at)
{
    while (at < line.size() && isBlank(line[at]))
        ++at;
    return at;
}

QString unescaped(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size())
            ++i;
        out += value[i];
    }
    return out;
}

QString joined(const QString& home, const QString& rest)
{
    // GLib builds "<home>/<rest>" with one separator between the two.
    QString tail = rest;
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    return tail.isEmpty() ? home : home + QLatin1Char('/') + tail;
}

} // namespace

std::vector<NamedFolder> parseUserDirs(const QString& text, const QString& home)
{
    std::vector<NamedFolder> folders;
    const QString homeWord = QStringLiteral("$HOME");
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        qsizetype at = skipBlanks(line, 0);
        if (!line.mid(at).startsWith(QLatin1String("XDG_")))
            continue;
        qsizetype keyEnd = at + 4;
        while (keyEnd < line.size() &&
               (line[keyEnd].isUpper() || line[keyEnd] == QLatin1Char('_') || line[keyEnd].isDigit()))
            ++keyEnd;
        const QString key = line.mid(at, keyEnd - at);
        if (!key.endsWith(QLatin1String("_DIR")) || key.size() <= 8)
            continue;
        at = skipBlanks(line, keyEnd);
        if (at >= line.size() || line[at] != QLatin1Char('='))
            continue;
        at = skipBlanks(line, at + 1);
        if (at >= line.size() || line[at] != QLatin1Char('"'))
            continue;
        ++at;
        const qsizetype closing = line.lastIndexOf(QLatin1Char('"'));
        if (closing < at)
            continue;
        QString value = line.mid(at, closing - at);
        // GLib knows "$HOME" only; "${HOME}", which the shell reads the same, counts as well.
        const QString bracedHomeWord = QStringLiteral("${HOME}");
        const bool braced = value.startsWith(bracedHomeWord);
        const bool relative = braced || value.startsWith(homeWord);
        if (relative)
            value.remove(0, braced ? bracedHomeWord.size() : homeWord.size());
        else if (!value.startsWith(QLatin1Char('/')))
            continue;
        if (value.endsWith(QLatin1Char('/')))
            value.chop(1);
        QStringList spellings{value};
        if (value.contains(QLatin1Char('\\')))
            spellings.append(unescaped(value));
        for (const QString& spelling : spellings) {
            const QString path = relative ? joined(home, spelling) : spelling;
            if (!path.isEmpty())
                folders.push_back({key, path});
        }
    }
    return folders;
}

} // namespace tolvane::uninstall
