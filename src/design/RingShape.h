#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The drawing of NotchRing: a circle inset by half the line width so the stroke stays inside the
// item, stroked in `trackColor` with butt caps, and over it the arc from twelve o'clock clockwise
// over `value` of the circle (0...1) in `tint` with round caps. A value of 0 draws the track alone.
// Drawn with QPainter, so it looks the same on the default and the software scene graph.
class RingShape : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(double lineWidth READ lineWidth WRITE setLineWidth NOTIFY lineWidthChanged)
    Q_PROPERTY(QColor trackColor READ trackColor WRITE setTrackColor NOTIFY trackColorChanged)
    Q_PROPERTY(QColor tint READ tint WRITE setTint NOTIFY tintChanged)

public:
    explicit RingShape(QQuickItem *parent = nullptr);

    [[nodiscard]] double value() const { return m_value; }
    void setValue(double value);
    [[nodiscard]] double lineWidth() const { return m_lineWidth; }
    void setLineWidth(double width);
    [[nodiscard]] QColor trackColor() const { return m_trackColor; }
    void setTrackColor(const QColor &color);
    [[nodiscard]] QColor tint() const { return m_tint; }
    void setTint(const QColor &color);

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void valueChanged();
    void lineWidthChanged();
    void trackColorChanged();
    void tintChanged();

private:
    double m_value = 0;
    double m_lineWidth = 2;
    QColor m_trackColor = Qt::transparent;
    QColor m_tint = Qt::white;
};

} // namespace tavrenhold
