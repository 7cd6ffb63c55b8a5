// A tray reports a left click as the Trigger activation and opens nothing: the menu opens here.
#include "platform/StatusItemClick.h"

#include <QCursor>

namespace tolvane {

void openMenuOnLeftClick(QSystemTrayIcon& item, std::function<QMenu*()> menu)
{
    QObject::connect(&item, &QSystemTrayIcon::activated, &item,
                     [menu = std::move(menu)](QSystemTrayIcon::ActivationReason reason) {
                         if (reason != QSystemTrayIcon::Trigger)
                             return;
                         if (QMenu* shown = menu())
                             shown->popup(QCursor::pos());
                     });
}

} // namespace tolvane
