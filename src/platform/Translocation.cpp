// The path hint for a translocated bundle.
#include "platform/Translocation.h"

#include <QDir>
#include <QStringList>

namespace tolvane {

namespace {

// The folder under the user's temporary folder (/private/var/folders/…/T/ or its /var link) that holds
// the random copies.
const QString TranslocationFolder = QStringLiteral("AppTranslocation");

} // namespace

bool looksTranslocated(const QString& bundlePath)
{
    const QStringList parts = QDir::cleanPath(bundlePath).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const qsizetype at = parts.indexOf(TranslocationFolder);
    // The copy's random folder and the bundle itself follow the translocation folder.
    return at > 0 && parts.size() - at >= 3 &&
           (bundlePath.startsWith(QLatin1String("/private/var/folders/")) ||
            bundlePath.startsWith(QLatin1String("/var/folders/")));
}

} // namespace tolvane
