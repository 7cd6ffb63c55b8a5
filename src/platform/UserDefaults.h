// The per-user preferences store: where it lives on each platform, and a store that learns afresh at
// every write whether that write succeeded.
#pragma once

#include "common/BuildInfo.h"

#include <QProcessEnvironment>
#include <QSettings>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

namespace tolvane {

// The store's identity, which the uninstall tool removes as well. On macOS the preferences domain; on
// other systems this file in the user's configuration folder.
inline const QString PreferencesDomain = ApplicationId;
inline const QString PreferencesFile = QStringLiteral("Tolvane/tolvane.conf");
// The data location the user chose, as the store keeps it.
inline const QString CustomTolvaneDataKey = QStringLiteral("customTolvaneData");

// The organisation and application names under which Qt's native store on macOS is the given domain:
// "org.veltran.tolvane" is organisation "veltran.org" and application "tolvane".
std::pair<QString, QString> qtNamesOfDomain(const QString& domain);

// The user's configuration folder: XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
QString userConfigFolder(const QProcessEnvironment& environment, const QString& homeDirectory);

// The store of the platform this controller was built for.
std::unique_ptr<QSettings> openUserDefaults(const QProcessEnvironment& environment,
                                            const QString& homeDirectory);

// QSettings keeps the first error it met for the rest of its life. After a failed write the next write
// therefore goes through a new object, made while the old one still holds the values not yet written
// (both share them), so that every write learns on its own whether it succeeded.
class UserDefaults {
public:
    using Opener = std::function<std::unique_ptr<QSettings>()>;

    explicit UserDefaults(Opener open);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    QSettings& settings();
    // Writes the pending changes; true when this write succeeded.
    bool synchronize();

private:
    Opener m_open;
    std::unique_ptr<QSettings> m_settings;
    bool m_lastWriteFailed = false;
};

} // namespace tolvane
