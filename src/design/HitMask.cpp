#include "HitMask.h"

#include "Controls.h"

namespace tavrenhold {

void HitMask::setWidth(double width)
{
    if (m_width == width)
        return;
    m_width = width;
    Q_EMIT widthChanged();
}

void HitMask::setHeight(double height)
{
    if (m_height == height)
        return;
    m_height = height;
    Q_EMIT heightChanged();
}

bool HitCircle::contains(const QPointF &point) const { return controls::buttonHit(point, width(), height()); }

bool HitCapsule::contains(const QPointF &point) const { return controls::capsuleHit(point, width(), height()); }

} // namespace tavrenhold
