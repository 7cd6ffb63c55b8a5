// The executable lives in Tolvane.app/Contents/MacOS: the bundle is two folders up.
#include "platform/BundlePath.h"

#include <QCoreApplication>
#include <QDir>

namespace tolvane {

QString applicationBundlePath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
}

} // namespace tolvane
