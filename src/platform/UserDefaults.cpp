// The preferences store's identity and its writes.
#include "platform/UserDefaults.h"

#include <QDir>
#include <QStringList>
#include <algorithm>

namespace tolvane {

std::pair<QString, QString> qtNamesOfDomain(const QString& domain)
{
    QStringList parts = domain.split(QLatin1Char('.'));
    const QString application = parts.takeLast();
    std::reverse(parts.begin(), parts.end());
    return {parts.join(QLatin1Char('.')), application};
}

QString userConfigFolder(const QProcessEnvironment& environment, const QString& homeDirectory)
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored, like an empty one.
    const QString configured = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return QDir::cleanPath(configured);
    return homeDirectory + QStringLiteral("/.config");
}

UserDefaults::UserDefaults(Opener open) : m_open(std::move(open)) {}

UserDefaults::~UserDefaults() = default;

QSettings& UserDefaults::settings()
{
    if (!m_settings)
        m_settings = m_open();
    return *m_settings;
}

bool UserDefaults::synchronize()
{
    if (m_lastWriteFailed && m_settings) {
        std::unique_ptr<QSettings> fresh = m_open();
        m_settings = std::move(fresh);
    }
    QSettings& store = settings();
    store.sync();
    m_lastWriteFailed = store.status() != QSettings::NoError;
    return !m_lastWriteFailed;
}

} // namespace tolvane
