#include "ClipboardThumbnail.h"

#include <QPainter>
#include <QPainterPath>

namespace tavrenhold {

ClipboardThumbnail::ClipboardThumbnail(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void ClipboardThumbnail::setStore(ClipboardService *store)
{
    if (m_store == store)
        return;
    m_store = store;
    decode();
    Q_EMIT sourceChanged();
}

void ClipboardThumbnail::setItemId(const QString &id)
{
    if (m_itemId == id)
        return;
    m_itemId = id;
    decode();
    Q_EMIT sourceChanged();
}

void ClipboardThumbnail::setRadius(qreal radius)
{
    if (qFuzzyCompare(m_radius, radius))
        return;
    m_radius = radius;
    update();
    Q_EMIT radiusChanged();
}

void ClipboardThumbnail::decode()
{
    const bool wasValid = valid();
    m_image = {};
    if (m_store && !m_itemId.isEmpty()) {
        if (const auto item = m_store->item(QUuid::fromString(m_itemId))) {
            if (auto image = item->thumbnail())
                m_image = std::move(*image);
        }
    }
    update();
    if (wasValid != valid())
        Q_EMIT validChanged();
}

void ClipboardThumbnail::paint(QPainter *painter)
{
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    const QRectF target(0, 0, width(), height());
    // Fill the frame with the aspect kept: the middle part of the picture that has the frame's shape.
    const QSizeF size = m_image.size();
    const qreal scale = std::max(target.width() / size.width(), target.height() / size.height());
    const QSizeF shown(target.width() / scale, target.height() / scale);
    const QRectF source((size.width() - shown.width()) / 2, (size.height() - shown.height()) / 2, shown.width(),
                        shown.height());
    QPainterPath clip;
    clip.addRoundedRect(target, m_radius, m_radius);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setClipPath(clip);
    painter->drawImage(target, m_image, source);
}

} // namespace tavrenhold
