// The preferences store on freedesktop systems: an INI file in the user's configuration folder.
#include "platform/UserDefaults.h"

namespace tolvane {

std::unique_ptr<QSettings> openUserDefaults(const QProcessEnvironment& environment,
                                            const QString& homeDirectory)
{
    return std::make_unique<QSettings>(userConfigFolder(environment, homeDirectory) + QLatin1Char('/') +
                                           PreferencesFile,
                                       QSettings::IniFormat);
}

} // namespace tolvane
