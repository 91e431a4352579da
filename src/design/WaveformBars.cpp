#include "WaveformBars.h"

#include "Controls.h"

#include <QPainter>
#include <QSequentialIterable>

#include <cmath>

namespace tavrenhold {

namespace {

QList<double> numbersFrom(const QVariant &value)
{
    QList<double> out;
    if (!value.canConvert<QVariantList>())
        return out;
    const QSequentialIterable items = value.value<QSequentialIterable>();
    for (const QVariant &item : items)
        out.append(item.toDouble());
    return out;
}

} // namespace

WaveformBars::WaveformBars(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void WaveformBars::setLevels(const QVariant &levels)
{
    if (levels == m_given)
        return;
    m_given = levels;
    // Only a change of what is drawn repaints.
    if (QList<double> numbers = numbersFrom(levels); numbers != m_levels) {
        m_levels = std::move(numbers);
        update();
    }
    Q_EMIT levelsChanged();
}

void WaveformBars::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    m_capsules.clear();
    update();
    Q_EMIT colorChanged();
}

void WaveformBars::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size())
        update();
}

QList<QRectF> WaveformBars::barRects(const QList<double> &levels, const QSizeF &size)
{
    const double step = controls::waveformBarWidth + controls::waveformSpacing;
    const auto n = double(levels.size());
    const double left = std::round((size.width() - (n * step - controls::waveformSpacing)) / 2);
    QList<QRectF> rects;
    rects.reserve(levels.size());
    for (qsizetype i = 0; i < levels.size(); ++i) {
        const double h = controls::waveformBarHeight(levels[i], size.height());
        rects.append(QRectF(left + double(i) * step, (size.height() - h) / 2, controls::waveformBarWidth, h));
    }
    return rects;
}

const QImage &WaveformBars::capsule(int height, qreal ratio)
{
    if (ratio != m_capsuleRatio) {
        m_capsules.clear();
        m_capsuleRatio = ratio;
    }
    auto it = m_capsules.find(height);
    if (it != m_capsules.end())
        return *it;
    const double width = controls::waveformBarWidth;
    QImage image(QSize(int(std::ceil(width * ratio)), int(std::ceil(height * ratio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(m_color);
    p.drawRoundedRect(QRectF(0, 0, width, height), width / 2, width / 2);
    p.end();
    return *m_capsules.insert(height, std::move(image));
}

void WaveformBars::paint(QPainter *painter)
{
    if (m_levels.isEmpty() || !m_color.isValid() || m_color.alpha() == 0)
        return;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    for (const QRectF &bar : barRects(m_levels, size())) {
        // Whole pixels, as the scene graph places a rectangle.
        const QRect at = bar.toAlignedRect();
        painter->drawImage(QPointF(bar.x(), at.y()), capsule(at.height(), ratio));
    }
}

} // namespace tavrenhold
