// The help popup: a frameless popup window that closes when the user clicks elsewhere.
#include "prefs/Popover.h"

#include <QGuiApplication>
#include <QScreen>

namespace tolvane {

Popover::Popover(QWidget* parent) : QFrame(parent, Qt::Popup)
{
    setFrameShape(QFrame::StyledPanel);
}

void Popover::showRelativeToRect(const QRect& rect, QWidget* view, RectEdge preferredEdge)
{
    m_view = view;
    m_rect = rect;
    m_edge = preferredEdge;
    if (!m_contentSize.isValid())
        m_contentSize = sizeHint();
    place();
    show();
}

void Popover::setContentSize(const QSize& size)
{
    m_contentSize = size;
    place();
}

void Popover::place()
{
    if (!m_view)
        return;
    const QSize size = m_contentSize.isValid() ? m_contentSize : sizeHint();
    const QRect anchor(m_view->mapToGlobal(m_rect.topLeft()), m_rect.size());
    const QScreen* screen = m_view->screen() ? m_view->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    QPoint origin;
    switch (m_edge) {
    case RectEdge::MaxX:
        origin = QPoint(anchor.right() + 1, anchor.center().y() - size.height() / 2);
        if (room.isValid() && origin.x() + size.width() > room.right())
            origin.setX(anchor.left() - size.width());
        break;
    case RectEdge::MinX:
        origin = QPoint(anchor.left() - size.width(), anchor.center().y() - size.height() / 2);
        if (room.isValid() && origin.x() < room.left())
            origin.setX(anchor.right() + 1);
        break;
    case RectEdge::MaxY:
        origin = QPoint(anchor.center().x() - size.width() / 2, anchor.bottom() + 1);
        break;
    case RectEdge::MinY:
        origin = QPoint(anchor.center().x() - size.width() / 2, anchor.top() - size.height());
        break;
    }
    if (room.isValid()) {
        origin.setY(std::clamp(origin.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
        origin.setX(std::clamp(origin.x(), room.left(), std::max(room.left(), room.right() - size.width())));
    }
    setGeometry(QRect(origin, size));
}

} // namespace tolvane
