#include "ArtworkTile.h"

#include "design/ArtworkCache.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tavrenhold {

ArtworkTile::ArtworkTile(QQuickItem *parent) : QQuickPaintedItem(parent) { setAntialiasing(true); }

void ArtworkTile::setPane(MusicPane *pane)
{
    if (pane == m_pane)
        return;
    disconnect(m_artworkConnection);
    m_pane = pane;
    if (m_pane)
        m_artworkConnection = connect(m_pane, &MusicPane::artworkChanged, this, &ArtworkTile::lookUp);
    Q_EMIT paneChanged();
    lookUp();
}

void ArtworkTile::setRadius(double radius)
{
    if (radius == m_radius)
        return;
    m_radius = radius;
    Q_EMIT radiusChanged();
    update();
}

void ArtworkTile::setFill(const QColor &fill)
{
    if (fill == m_fill)
        return;
    m_fill = fill;
    Q_EMIT fillChanged();
    update();
}

void ArtworkTile::lookUp()
{
    QImage picture;
    if (m_pane && m_pane->artwork()) {
        if (auto decoded = ArtworkCache::shared().image(*m_pane->artwork()))
            picture = std::move(*decoded);
    }
    const bool had = hasPicture();
    m_picture = std::move(picture);
    if (had != hasPicture())
        Q_EMIT hasPictureChanged();
    update();
}

QRectF ArtworkTile::fillSource(const QSizeF &picture, const QSizeF &target)
{
    if (picture.isEmpty() || target.isEmpty())
        return QRectF(QPointF(0, 0), picture);
    const double scale = std::max(target.width() / picture.width(), target.height() / picture.height());
    const QSizeF shown(target.width() / scale, target.height() / scale);
    return QRectF(QPointF((picture.width() - shown.width()) / 2, (picture.height() - shown.height()) / 2), shown);
}

void ArtworkTile::paint(QPainter *painter)
{
    const QRectF bounds(0, 0, width(), height());
    if (bounds.isEmpty())
        return;
    const double r = std::clamp(m_radius, 0.0, std::min(bounds.width(), bounds.height()) / 2);
    QPainterPath shape;
    shape.addRoundedRect(bounds, r, r);
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter->fillPath(shape, m_fill);
    if (m_picture.isNull())
        return;
    painter->setClipPath(shape);
    painter->drawImage(bounds, m_picture, fillSource(m_picture.size(), bounds.size()));
}

} // namespace tavrenhold
