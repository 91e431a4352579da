#pragma once

#include "NotchSilhouette.h"

#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QQuickPaintedItem>
#include <QRectF>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The notch outline (NotchSilhouette over the item's own rectangle) as a Qt Quick item: it fills
// the outline, antialiased with the non-zero rule, in `color`, optionally faded from top to bottom,
// and its contains() follows the outline, so the item doubles as another item's containmentMask:
//     containmentMask: silhouetteShape
// Drawn with QPainter, so it looks the same on the default and the software scene graph.
class NotchSilhouetteShape : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double flareRadius READ flareRadius WRITE setFlareRadius NOTIFY flareRadiusChanged)
    Q_PROPERTY(double bottomRadius READ bottomRadius WRITE setBottomRadius NOTIFY bottomRadiusChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    // A vertical fade as pairs (location, opacity): location 0 is the top edge, 1 the bottom; each
    // opacity multiplies the colour's alpha; past the last pair its opacity holds. Empty: no fade.
    //     opacityStops: [0, 0.38, 0.35, 0.14, 0.70, 0]
    Q_PROPERTY(QList<double> opacityStops READ opacityStops WRITE setOpacityStops NOTIFY opacityStopsChanged)
    // The outline's body: the item's rectangle less the two flares.
    Q_PROPERTY(QRectF bodyRect READ bodyRect NOTIFY bodyRectChanged)

public:
    explicit NotchSilhouetteShape(QQuickItem *parent = nullptr);

    [[nodiscard]] double flareRadius() const { return m_silhouette.flareRadius; }
    void setFlareRadius(double radius);
    [[nodiscard]] double bottomRadius() const { return m_silhouette.bottomRadius; }
    void setBottomRadius(double radius);
    [[nodiscard]] QColor color() const { return m_color; }
    void setColor(const QColor &color);
    [[nodiscard]] QList<double> opacityStops() const { return m_stops; }
    void setOpacityStops(const QList<double> &stops);
    [[nodiscard]] QRectF bodyRect() const { return m_body; }

    // The outline in item coordinates.
    [[nodiscard]] QPainterPath path() const { return m_path; }

    bool contains(const QPointF &point) const override;
    void paint(QPainter *painter) override;

Q_SIGNALS:
    void flareRadiusChanged();
    void bottomRadiusChanged();
    void colorChanged();
    void opacityStopsChanged();
    void bodyRectChanged();

protected:
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    void rebuild();
    void updateHasContents();

    NotchSilhouette m_silhouette;
    QColor m_color = Qt::transparent;
    QList<double> m_stops;
    QPainterPath m_path;
    QRectF m_body;
};

} // namespace tavrenhold
