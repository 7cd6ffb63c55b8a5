// What a left click on the status item does, as the platform has it.
#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <functional>

namespace tolvane {

// Makes a left click on `item` open the menu that `menu` answers (null: none). On macOS the menu bar
// opens the item's menu on any click by itself, since Qt attaches the menu natively, so nothing is
// added there: a popup of the controller's own would open the menu a second time. A tray leaves the
// left click to the application, which opens the same menu as the right click. The platform's room
// provides it.
void openMenuOnLeftClick(QSystemTrayIcon& item, std::function<QMenu*()> menu);

} // namespace tolvane
