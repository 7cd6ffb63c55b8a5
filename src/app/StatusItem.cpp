// The status-bar item and the named images.
#include "app/StatusItem.h"

#include "platform/StatusImages.h"
#include "platform/StatusItemClick.h"

namespace tolvane {

QIcon imageNamed(const QString& name)
{
    return statusBarImage(QStringLiteral(":/images/%1.svg").arg(name));
}

StatusItem::StatusItem() = default;

StatusItem::~StatusItem() = default;

void StatusItem::setImage(const QString& imageName)
{
    m_imageName = imageName;
    if (m_trayIcon) {
        m_trayIcon->setIcon(imageNamed(imageName));
        m_trayIcon->show();
    }
}

void StatusItem::setMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_trayIcon)
        m_trayIcon->setContextMenu(menu);
}

void StatusItem::setToolTip(const QString& toolTip)
{
    m_toolTip = toolTip;
    if (m_trayIcon)
        m_trayIcon->setToolTip(toolTip);
}

void StatusItem::placeAgain()
{
    if (!m_trayIcon)
        return;
    m_trayIcon->hide();
    m_trayIcon->show();
    ++m_placements;
}

void StatusItem::place()
{
    if (m_trayIcon)
        return;
    m_trayIcon = std::make_unique<QSystemTrayIcon>();
    // A left click opens the same menu as a right click, once: the item has nothing else to do.
    openMenuOnLeftClick(*m_trayIcon, [this] { return m_menu.data(); });
    if (!m_imageName.isEmpty())
        m_trayIcon->setIcon(imageNamed(m_imageName));
    m_trayIcon->setToolTip(m_toolTip);
    m_trayIcon->setContextMenu(m_menu);
    m_trayIcon->show();
    ++m_placements;
}

} // namespace tolvane
