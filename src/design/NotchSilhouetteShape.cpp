#include "NotchSilhouetteShape.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tavrenhold {

NotchSilhouetteShape::NotchSilhouetteShape(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    updateHasContents();
}

void NotchSilhouetteShape::setFlareRadius(double radius)
{
    if (m_silhouette.flareRadius == radius)
        return;
    m_silhouette.flareRadius = radius;
    rebuild();
    Q_EMIT flareRadiusChanged();
}

void NotchSilhouetteShape::setBottomRadius(double radius)
{
    if (m_silhouette.bottomRadius == radius)
        return;
    m_silhouette.bottomRadius = radius;
    rebuild();
    Q_EMIT bottomRadiusChanged();
}

void NotchSilhouetteShape::setColor(const QColor &color)
{
    if (m_color == color)
        return;
    m_color = color;
    updateHasContents();
    update();
    Q_EMIT colorChanged();
}

void NotchSilhouetteShape::setOpacityStops(const QList<double> &stops)
{
    if (m_stops == stops)
        return;
    m_stops = stops;
    update();
    Q_EMIT opacityStopsChanged();
}

bool NotchSilhouetteShape::contains(const QPointF &point) const
{
    return m_path.contains(point);
}

void NotchSilhouetteShape::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size())
        rebuild();
}

void NotchSilhouetteShape::rebuild()
{
    m_path = m_silhouette.path(QRectF(0, 0, width(), height()));
    // The body is the first subpath; the flares follow it.
    const QList<QPolygonF> parts = m_path.toSubpathPolygons();
    const QRectF body = parts.isEmpty() ? QRectF() : parts.first().boundingRect();
    if (body != m_body) {
        m_body = body;
        Q_EMIT bodyRectChanged();
    }
    update();
}

void NotchSilhouetteShape::updateHasContents()
{
    // A transparent outline (a pure hit or clip shape) costs no texture.
    setFlag(ItemHasContents, m_color.isValid() && m_color.alpha() > 0);
}

void NotchSilhouetteShape::paint(QPainter *painter)
{
    if (m_path.isEmpty() || !m_color.isValid() || m_color.alpha() == 0)
        return;
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    if (m_stops.size() < 2) {
        painter->setBrush(m_color);
    } else {
        // The gradient runs over the pixels its stops reach, not the whole height: stops fixed in
        // pixels then give the same gradient at every height, and Qt's gradient cache keeps one
        // colour table instead of one per frame of a resize. Past the last stop its colour pads.
        double last = 0;
        for (qsizetype i = 0; i + 1 < m_stops.size(); i += 2) {
            if (std::isfinite(m_stops[i]))
                last = std::max(last, std::clamp(m_stops[i], 0.0, 1.0));
        }
        const double span = last > 0 ? last * height() : height();
        const double scale = last > 0 ? last : 1.0;
        QLinearGradient gradient(QPointF(0, 0), QPointF(0, span));
        for (qsizetype i = 0; i + 1 < m_stops.size(); i += 2) {
            const double at = m_stops[i];
            const double opacity = m_stops[i + 1];
            if (!std::isfinite(at) || !std::isfinite(opacity))
                continue;
            QColor c = m_color;
            c.setAlphaF(float(m_color.alphaF() * std::clamp(opacity, 0.0, 1.0)));
            gradient.setColorAt(std::clamp(at, 0.0, 1.0) / scale, c);
        }
        painter->setBrush(gradient);
    }
    painter->drawPath(m_path);
}

} // namespace tavrenhold
