// A popover-like popup that holds one help text next to the control that asked for it.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QRect>
#include <QSize>

namespace tolvane {

enum class RectEdge { MinX = 0, MinY = 1, MaxX = 2, MaxY = 3 };

class Popover : public QFrame {
    Q_OBJECT
public:
    explicit Popover(QWidget* parent = nullptr);

    // Shows the popup beside `rect` of `view` (in the view's coordinates), on the preferred edge when
    // the screen has room there, else on the opposite edge.
    void showRelativeToRect(const QRect& rect, QWidget* view, RectEdge preferredEdge);
    void setContentSize(const QSize& size);
    QSize contentSize() const { return m_contentSize; }
    QWidget* positioningView() const { return m_view; }
    RectEdge preferredEdge() const { return m_edge; }

private:
    void place();

    QPointer<QWidget> m_view;
    QRect m_rect;
    RectEdge m_edge = RectEdge::MaxX;
    QSize m_contentSize;
};

} // namespace tolvane
