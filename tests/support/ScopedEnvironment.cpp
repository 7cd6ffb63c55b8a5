// The scoped environment.
#include "ScopedEnvironment.h"

#include <QFile>
#include <QtGlobal>
#include <algorithm>

namespace tolvane::testing {

ScopedEnvironment::ScopedEnvironment(std::initializer_list<std::pair<const char*, QString>> settings)
{
    for (const auto& [name, value] : settings)
        set(name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    // Newest first, though each name is remembered once, with the value it had before the first change.
    for (auto saved = m_saved.rbegin(); saved != m_saved.rend(); ++saved) {
        if (saved->second)
            qputenv(saved->first.constData(), *saved->second);
        else
            qunsetenv(saved->first.constData());
    }
}

void ScopedEnvironment::set(const char* name, const QString& value)
{
    remember(name);
    qputenv(name, QFile::encodeName(value));
}

void ScopedEnvironment::unset(const char* name)
{
    remember(name);
    qunsetenv(name);
}

void ScopedEnvironment::remember(const char* name)
{
    const QByteArray key(name);
    if (std::any_of(m_saved.begin(), m_saved.end(), [&](const auto& saved) { return saved.first == key; }))
        return;
    m_saved.emplace_back(key, qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name))
                                                              : std::nullopt);
}

} // namespace tolvane::testing
