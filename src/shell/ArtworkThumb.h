#pragma once

#include "NotchShellModel.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The artwork of the idle bar and the travel layer: the picture of the artwork `imageId` that the
// shell's composition holds, decoded through the shared ArtworkCache, scaled to fill the item (aspect
// ratio kept, the overflow cut off) inside a rounded rectangle of `radius`. Without a picture (no id,
// or bytes that do not decode) the rounded rectangle is filled with `fill` and `hasPicture` is false;
// a `backed` thumb (a tile) lays `fill` behind a picture too.
//
// The picture is looked up on the main thread whenever the id or the artwork entries change; painting
// only draws what was looked up. Drawn with QPainter, so the rounded clip holds on every scene graph.
class ArtworkThumb : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::NotchShellModel *shell READ shell WRITE setShell NOTIFY shellChanged)
    Q_PROPERTY(QString imageId READ imageId WRITE setImageId NOTIFY imageIdChanged)
    Q_PROPERTY(double radius READ radius WRITE setRadius NOTIFY radiusChanged)
    Q_PROPERTY(QColor fill READ fill WRITE setFill NOTIFY fillChanged)
    Q_PROPERTY(bool backed READ backed WRITE setBacked NOTIFY backedChanged)
    Q_PROPERTY(bool hasPicture READ hasPicture NOTIFY hasPictureChanged)

public:
    explicit ArtworkThumb(QQuickItem *parent = nullptr);

    [[nodiscard]] NotchShellModel *shell() const { return m_shell; }
    void setShell(NotchShellModel *shell);
    [[nodiscard]] QString imageId() const { return m_imageId; }
    void setImageId(const QString &id);
    [[nodiscard]] double radius() const { return m_radius; }
    void setRadius(double radius);
    [[nodiscard]] QColor fill() const { return m_fill; }
    void setFill(const QColor &fill);
    [[nodiscard]] bool backed() const { return m_backed; }
    void setBacked(bool backed);
    [[nodiscard]] bool hasPicture() const { return !m_picture.isNull(); }
    [[nodiscard]] QImage picture() const { return m_picture; }

    void paint(QPainter *painter) override;

    // The part of a picture of `picture` size that fills `target` with its aspect ratio kept.
    [[nodiscard]] static QRectF fillSource(const QSizeF &picture, const QSizeF &target);

Q_SIGNALS:
    void shellChanged();
    void imageIdChanged();
    void radiusChanged();
    void fillChanged();
    void backedChanged();
    void hasPictureChanged();

private:
    void lookUp();

    QPointer<NotchShellModel> m_shell;
    QMetaObject::Connection m_identityConnection;
    QMetaObject::Connection m_pinnedConnection;
    QString m_imageId;
    double m_radius = 0;
    QColor m_fill = Qt::transparent;
    bool m_backed = false;
    QImage m_picture;
    qint64 m_pictureKey = 0;
};

} // namespace tavrenhold
