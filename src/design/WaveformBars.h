#pragma once

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QQuickPaintedItem>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// NotchWaveform's bars drawn in one pass: one capsule of controls::waveformBarWidth per level,
// controls::waveformSpacing apart, the row centred, each as high as controls::waveformBarHeight
// gives for its level, in `color`. A meter that steps with its levels redraws one small picture
// per step instead of a node per bar.
//     WaveformBars { width: 46; height: 22; levels: [0.2, 0.8]; color: Style.ink }
class WaveformBars : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    // Numbers, one per bar; a list of anything else (or no list) draws nothing.
    Q_PROPERTY(QVariant levels READ levels WRITE setLevels NOTIFY levelsChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit WaveformBars(QQuickItem *parent = nullptr);

    [[nodiscard]] QVariant levels() const { return m_given; }
    void setLevels(const QVariant &levels);
    [[nodiscard]] QColor color() const { return m_color; }
    void setColor(const QColor &color);

    // The bars' rectangles in an item of `size`, left to right.
    [[nodiscard]] static QList<QRectF> barRects(const QList<double> &levels, const QSizeF &size);

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void levelsChanged();
    void colorChanged();

protected:
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    // One capsule picture per whole-pixel height, drawn the first time that height is needed, so a
    // step of the meter blits pictures rather than tracing curves.
    const QImage &capsule(int height, qreal ratio);

    QVariant m_given;
    QList<double> m_levels;
    QColor m_color = Qt::black;
    QHash<int, QImage> m_capsules;
    qreal m_capsuleRatio = 0;
};

} // namespace tavrenhold
