#pragma once

#include "MusicPane.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The Music pane's artwork tile: `fill` in a rounded rectangle of `radius`, and over it the pane's
// artwork decoded through the shared ArtworkCache, scaled to fill the tile (aspect ratio kept, the
// overflow cut off). Bytes that do not decode, or no artwork, leave `hasPicture` false so the view
// shows its placeholder glyph. Drawn with QPainter, so the rounded clip holds on every scene graph.
class ArtworkTile : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::MusicPane *pane READ pane WRITE setPane NOTIFY paneChanged)
    Q_PROPERTY(double radius READ radius WRITE setRadius NOTIFY radiusChanged)
    Q_PROPERTY(QColor fill READ fill WRITE setFill NOTIFY fillChanged)
    Q_PROPERTY(bool hasPicture READ hasPicture NOTIFY hasPictureChanged)

public:
    explicit ArtworkTile(QQuickItem *parent = nullptr);

    [[nodiscard]] MusicPane *pane() const { return m_pane; }
    void setPane(MusicPane *pane);
    [[nodiscard]] double radius() const { return m_radius; }
    void setRadius(double radius);
    [[nodiscard]] QColor fill() const { return m_fill; }
    void setFill(const QColor &fill);
    [[nodiscard]] bool hasPicture() const { return !m_picture.isNull(); }

    void paint(QPainter *painter) override;

    // The part of a picture of `picture` size that fills `target` with its aspect ratio kept.
    [[nodiscard]] static QRectF fillSource(const QSizeF &picture, const QSizeF &target);

Q_SIGNALS:
    void paneChanged();
    void radiusChanged();
    void fillChanged();
    void hasPictureChanged();

private:
    void lookUp();

    QPointer<MusicPane> m_pane;
    QMetaObject::Connection m_artworkConnection;
    double m_radius = 0;
    QColor m_fill = Qt::transparent;
    QImage m_picture;
};

} // namespace tavrenhold
