#pragma once

#include "ClipboardService.h"

#include <QFutureWatcher>
#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

class QIODevice;

namespace tavrenhold {

// The picture `device` holds, decoded straight to the smallest size that still covers `box` (never
// enlarged); a null image when it does not decode, when its size cannot be told from its header,
// or when its full size is more than Qt's image reader may allocate (told before any pixel is read).
[[nodiscard]] QImage decodeThumbnail(QIODevice &device, QSize box);

// An image entry's picture, decoded when the entry is set from its bytes in memory or its file in
// the store, at the size a row shows (no cache beyond this item); a picture larger than a few
// rows' worth is decoded on a worker thread. Drawn filling the item with the overflow cropped and
// the corners rounded by `radius`. `valid` is false when there is no such entry or its picture
// does not decode.
class ClipboardThumbnail : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::ClipboardService *store READ store WRITE setStore NOTIFY sourceChanged)
    Q_PROPERTY(QString itemId READ itemId WRITE setItemId NOTIFY sourceChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged)
    Q_PROPERTY(bool valid READ valid NOTIFY validChanged)

public:
    explicit ClipboardThumbnail(QQuickItem *parent = nullptr);

    [[nodiscard]] ClipboardService *store() const { return m_store; }
    void setStore(ClipboardService *store);
    [[nodiscard]] QString itemId() const { return m_itemId; }
    void setItemId(const QString &id);
    [[nodiscard]] qreal radius() const { return m_radius; }
    void setRadius(qreal radius);
    [[nodiscard]] bool valid() const { return !m_image.isNull(); }

    void paint(QPainter *painter) override;

    // The decoded picture, as drawn.
    [[nodiscard]] QImage image() const { return m_image; }
    // The device pixels a picture is decoded to cover.
    static constexpr int decodeBox = 64;

Q_SIGNALS:
    void sourceChanged();
    void radiusChanged();
    void validChanged();

private:
    void decode();
    void show(QImage image);

    QPointer<ClipboardService> m_store;
    QString m_itemId;
    qreal m_radius = 4;
    QImage m_image;
    QFutureWatcher<QImage> m_decoding;
    quint64 m_generation = 0;
};

} // namespace tavrenhold
