// Trays draw the status images as they are.
#include "platform/StatusImages.h"

namespace tolvane {

QIcon statusBarImage(const QString& resourcePath)
{
    return QIcon(resourcePath);
}

} // namespace tolvane
