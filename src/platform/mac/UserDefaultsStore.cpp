// The preferences store on macOS: the user's preferences domain, through the system's own store, so that
// `defaults` and the uninstall tool see the same values.
#include "platform/UserDefaults.h"

namespace tolvane {

std::unique_ptr<QSettings> openUserDefaults(const QProcessEnvironment&, const QString&)
{
    const auto [organization, application] = qtNamesOfDomain(PreferencesDomain);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organization,
                                       application);
}

} // namespace tolvane
