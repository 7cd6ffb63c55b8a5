// The status images are black on transparent: as template images the menu bar draws them in the colour
// of its mode, light or dark.
#include "platform/StatusImages.h"

namespace tolvane {

QIcon statusBarImage(const QString& resourcePath)
{
    QIcon icon(resourcePath);
    icon.setIsMask(true);
    return icon;
}

} // namespace tolvane
