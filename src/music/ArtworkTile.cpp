#include "ArtworkTile.h"
#include "design/RoundedPicture.h"

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
    return pictureFillSource(picture, target);
}

void ArtworkTile::paint(QPainter *painter)
{
    paintRoundedPicture(*painter, QRectF(0, 0, width(), height()), m_radius, m_picture, m_fill);
}

} // namespace tavrenhold
