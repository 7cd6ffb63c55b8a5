// Without bundles the application is its executable, which the product folder holds.
#include "platform/BundlePath.h"

#include <QCoreApplication>

namespace tolvane {

QString applicationBundlePath()
{
    return QCoreApplication::applicationFilePath();
}

} // namespace tolvane
