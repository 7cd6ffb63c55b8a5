// The status item's images as the platform draws them in its menu bar or tray.
#pragma once

#include <QIcon>
#include <QString>

namespace tolvane {

// The image in the resources at `resourcePath`, made for the status bar: on macOS a template image,
// which the menu bar tints for light and dark mode. The platform's room provides it.
QIcon statusBarImage(const QString& resourcePath);

} // namespace tolvane
