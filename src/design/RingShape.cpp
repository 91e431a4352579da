#include "RingShape.h"

#include "Controls.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tavrenhold {

RingShape::RingShape(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void RingShape::setValue(double value)
{
    if (m_value == value)
        return;
    m_value = value;
    update();
    Q_EMIT valueChanged();
}

void RingShape::setLineWidth(double width)
{
    if (m_lineWidth == width)
        return;
    m_lineWidth = width;
    update();
    Q_EMIT lineWidthChanged();
}

void RingShape::setTrackColor(const QColor &color)
{
    if (m_trackColor == color)
        return;
    m_trackColor = color;
    update();
    Q_EMIT trackColorChanged();
}

void RingShape::setTint(const QColor &color)
{
    if (m_tint == color)
        return;
    m_tint = color;
    update();
    Q_EMIT tintChanged();
}

void RingShape::paint(QPainter *painter)
{
    const double line = std::isfinite(m_lineWidth) ? std::max(m_lineWidth, 0.0) : 0.0;
    const QRectF circle = QRectF(0, 0, width(), height()).adjusted(line / 2, line / 2, -line / 2, -line / 2);
    if (line <= 0 || circle.width() <= 0 || circle.height() <= 0)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(Qt::NoBrush);

    QPen track(m_trackColor, line, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    track.setMiterLimit(10);
    painter->setPen(track);
    painter->drawEllipse(circle);

    const double fraction = controls::ringFraction(m_value);
    if (fraction <= 0)
        return;
    QPen arc(m_tint, line, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    arc.setMiterLimit(10);
    painter->setPen(arc);
    if (fraction >= 1) {
        painter->drawEllipse(circle);
        return;
    }
    // Angles in sixteenths of a degree, counter-clockwise from three o'clock: start at twelve and
    // turn clockwise.
    painter->drawArc(circle, 90 * 16, -int(std::lround(fraction * 360 * 16)));
}

} // namespace tavrenhold
