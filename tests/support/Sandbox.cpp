// The sandboxed user.
#include "Sandbox.h"

#include "Files.h"

#include <QDir>
#include <QFile>

namespace tolvane::testing {

Sandbox::Sandbox()
    : home(folder.filePath(QStringLiteral("home"))), config(folder.filePath(QStringLiteral("config"))),
      runtime(folder.filePath(QStringLiteral("runtime"))), data(folder.filePath(QStringLiteral("data")))
{
    for (const QString& path : {home, config, runtime, data})
        QDir().mkpath(path);
    // Qt accepts a runtime folder only when its owner alone may use it.
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::vector<std::pair<const char*, QString>> Sandbox::settings(const QString& executable) const
{
    return {{"HOME", home},
            {"XDG_CONFIG_HOME", config},
            {"XDG_RUNTIME_DIR", runtime},
            {"TOLVANE_HOME", data},
            {"TOLVANE_PEX", executable}};
}

QProcessEnvironment Sandbox::environment(const QString& executable) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : settings(executable))
        environment.insert(QString::fromLatin1(name), value);
    return environment;
}

void Sandbox::apply(const QString& executable)
{
    for (const auto& [name, value] : settings(executable))
        variables.set(name, value);
}

QString Sandbox::writeScript(const QString& name, const QByteArray& body) const
{
    const QString path = folder.filePath(name);
    return testing::writeScript(path, body) ? path : QString();
}

} // namespace tolvane::testing
