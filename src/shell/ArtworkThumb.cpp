#include "ArtworkThumb.h"
#include "design/RoundedPicture.h"

#include "NotchShellModel.h"
#include "design/ArtworkCache.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tavrenhold {

ArtworkThumb::ArtworkThumb(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void ArtworkThumb::setShell(NotchShellModel *shell)
{
    if (shell == m_shell)
        return;
    QObject::disconnect(m_identityConnection);
    QObject::disconnect(m_pinnedConnection);
    m_shell = shell;
    // Artwork comes only in the identity and pinned entries.
    if (m_shell) {
        m_identityConnection = connect(m_shell, &NotchShellModel::identityChanged, this, &ArtworkThumb::lookUp);
        m_pinnedConnection = connect(m_shell, &NotchShellModel::pinnedChanged, this, &ArtworkThumb::lookUp);
    }
    Q_EMIT shellChanged();
    lookUp();
}

void ArtworkThumb::setImageId(const QString &id)
{
    if (id == m_imageId)
        return;
    m_imageId = id;
    Q_EMIT imageIdChanged();
    lookUp();
}

void ArtworkThumb::setRadius(double radius)
{
    if (radius == m_radius)
        return;
    m_radius = radius;
    Q_EMIT radiusChanged();
    update();
}

void ArtworkThumb::setFill(const QColor &fill)
{
    if (fill == m_fill)
        return;
    m_fill = fill;
    Q_EMIT fillChanged();
    update();
}

void ArtworkThumb::setBacked(bool backed)
{
    if (backed == m_backed)
        return;
    m_backed = backed;
    Q_EMIT backedChanged();
    update();
}

void ArtworkThumb::lookUp()
{
    QImage picture;
    if (m_shell && !m_imageId.isEmpty()) {
        if (const auto image = m_shell->artworkImage(m_imageId)) {
            if (auto decoded = ArtworkCache::shared().image(*image))
                picture = std::move(*decoded);
        }
    }
    // The cache hands out the same decoded picture for the same artwork: nothing to redraw then.
    if (picture.cacheKey() == m_pictureKey && picture.isNull() == m_picture.isNull())
        return;
    const bool had = hasPicture();
    m_picture = std::move(picture);
    m_pictureKey = m_picture.cacheKey();
    if (had != hasPicture())
        Q_EMIT hasPictureChanged();
    update();
}

QRectF ArtworkThumb::fillSource(const QSizeF &picture, const QSizeF &target)
{
    return pictureFillSource(picture, target);
}

void ArtworkThumb::paint(QPainter *painter)
{
    const bool underlay = m_picture.isNull() || m_backed;
    paintRoundedPicture(*painter, QRectF(0, 0, width(), height()), m_radius, m_picture,
                        underlay ? m_fill : QColor(Qt::transparent));
}

} // namespace tavrenhold
