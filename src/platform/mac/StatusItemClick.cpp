// The menu bar opens the status item's menu on a left click by itself: nothing to add.
#include "platform/StatusItemClick.h"

namespace tolvane {

void openMenuOnLeftClick(QSystemTrayIcon&, std::function<QMenu*()>) {}

} // namespace tolvane
