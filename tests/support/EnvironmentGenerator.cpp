// systemd's environment.d generator.
#include "EnvironmentGenerator.h"

#include "Programs.h"

#include <QFileInfo>
#include <QProcessEnvironment>

namespace tolvane::testing {

const QString EnvironmentGeneratorPath =
    QStringLiteral("/usr/lib/systemd/user-environment-generators/30-systemd-environment-d-generator");

bool environmentGeneratorInstalled()
{
    return QFileInfo(EnvironmentGeneratorPath).isExecutable();
}

int runEnvironmentGenerator(const QString& configHome, const QString& home, QByteArray* output,
                            QByteArray* errors)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("HOME"), home);
    environment.remove(QStringLiteral("TOLVANE_HOME"));
    return runProgram(EnvironmentGeneratorPath, {}, output, errors, {.environment = environment});
}

QList<QByteArray> printedValues(const QByteArray& output, const QByteArray& name)
{
    const QByteArray prefix = name + '=';
    QList<QByteArray> values;
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith(prefix))
            values << line.mid(prefix.size());
    }
    return values;
}

std::optional<QByteArray> generatorValue(const QByteArray& printed)
{
    if (!printed.startsWith('"'))
        return printed;
    if (printed.size() < 2 || !printed.endsWith('"'))
        return std::nullopt;
    const QByteArray quoted = printed.mid(1, printed.size() - 2);
    QByteArray value;
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++i >= quoted.size())
            return std::nullopt;
        switch (const char escaped = quoted[i]) {
        case 't':
            value += '\t';
            break;
        case 'n':
            value += '\n';
            break;
        case 'r':
            value += '\r';
            break;
        case '\\':
        case '"':
        case '$':
        case '`':
        case '\'':
            value += escaped;
            break;
        case 'x':
            if (i + 2 >= quoted.size())
                return std::nullopt;
            value += char(quoted.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
            break;
        default:
            return std::nullopt;
        }
    }
    return value;
}

} // namespace tolvane::testing
