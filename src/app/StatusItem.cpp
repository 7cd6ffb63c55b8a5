// The status-bar item and the named images.
#include "app/StatusItem.h"

#include "platform/StatusImages.h"
#include "platform/StatusItemClick.h"

namespace tolvane {

QIcon imageNamed(const QString& name)
{
    return statusBarImage(QStringLiteral(":/images/%1.svg").arg(name));
}

StatusItem::StatusItem()
{
    // A left click opens the same menu as a right click, once: the item has nothing else to do.
    openMenuOnLeftClick(m_trayIcon, [this] { return m_menu.data(); });
}

StatusItem::~StatusItem() = default;

void StatusItem::setImage(const QString& imageName)
{
    m_imageName = imageName;
    m_trayIcon.setIcon(imageNamed(imageName));
    m_trayIcon.show();
}

void StatusItem::setMenu(QMenu* menu)
{
    m_menu = menu;
    m_trayIcon.setContextMenu(menu);
}

void StatusItem::setToolTip(const QString& toolTip)
{
    m_trayIcon.setToolTip(toolTip);
}

} // namespace tolvane
