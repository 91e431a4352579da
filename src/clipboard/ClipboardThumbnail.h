#pragma once

#include "ClipboardService.h"

#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// An image entry's picture, decoded from its stored bytes when the entry is set (no cache beyond
// this item), drawn filling the item with the overflow cropped and the corners rounded by `radius`.
// `valid` is false when there is no such entry or its bytes do not decode.
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

Q_SIGNALS:
    void sourceChanged();
    void radiusChanged();
    void validChanged();

private:
    void decode();

    QPointer<ClipboardService> m_store;
    QString m_itemId;
    qreal m_radius = 4;
    QImage m_image;
};

} // namespace tavrenhold
