#include "ClipboardThumbnail.h"
#include "design/RoundedPicture.h"

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
    if (m_image.isNull())
        return;
    paintRoundedPicture(*painter, QRectF(0, 0, width(), height()), m_radius, m_image);
}

} // namespace tavrenhold
