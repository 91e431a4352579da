#include "NotchHitBox.h"

namespace tavrenhold {

namespace {
// QRectF::contains leaves out points on the right and bottom edges of a rectangle with no size;
// the hit test counts every edge.
bool containsClosed(const QRectF &r, const QPointF &p)
{
    return p.x() >= r.left() && p.x() <= r.right() && p.y() >= r.top() && p.y() <= r.bottom();
}
} // namespace

void NotchHitBox::setSize(const QSizeF &size)
{
    if (size == m_size)
        return;
    m_size = size;
    Q_EMIT changed();
}

void NotchHitBox::setDragBand(const QRectF &band)
{
    if (band == m_dragBand)
        return;
    m_dragBand = band;
    Q_EMIT changed();
}

void NotchHitBox::setDragArmed(bool armed)
{
    if (armed == m_dragArmed)
        return;
    m_dragArmed = armed;
    Q_EMIT changed();
}

void NotchHitBox::setPopover(const QRectF &rect)
{
    const QRectF shown = rect.isEmpty() ? QRectF() : rect;
    if (shown == m_popover)
        return;
    m_popover = shown;
    Q_EMIT changed();
}

QRectF NotchHitBox::surfaceRect(const QRectF &bounds) const
{
    const QRectF surface(bounds.center().x() - m_size.width() / 2, bounds.top(), m_size.width(), m_size.height());
    return surface.adjusted(-slack, -slack, slack, slack);
}

bool NotchHitBox::hitTest(const QPointF &point, const QRectF &bounds) const
{
    if (containsClosed(surfaceRect(bounds), point))
        return true;
    if (!m_popover.isEmpty() && containsClosed(m_popover, point))
        return true;
    return m_dragArmed && containsClosed(m_dragBand, point);
}

QList<QRectF> NotchHitBox::regions(const QRectF &bounds) const
{
    QList<QRectF> rects{surfaceRect(bounds)};
    if (m_dragArmed && !m_dragBand.isEmpty())
        rects.append(m_dragBand);
    if (!m_popover.isEmpty())
        rects.append(m_popover);
    return rects;
}

} // namespace tavrenhold
