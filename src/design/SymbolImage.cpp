#include "SymbolImage.h"

#include "Symbols.h"

#include <QImage>
#include <QPainter>
#include <QQuickWindow>
#include <QSvgRenderer>

#include <cmath>

namespace tavrenhold {

SymbolImage::SymbolImage(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

SymbolImage::~SymbolImage() = default;

void SymbolImage::setName(const QString &name)
{
    if (m_name == name)
        return;
    m_name = name;
    m_renderer.reset();
    if (const auto file = Symbols::path(name)) {
        auto renderer = std::make_unique<QSvgRenderer>(*file);
        if (renderer->isValid())
            m_renderer = std::move(renderer);
    }
    update();
    Q_EMIT nameChanged();
}

void SymbolImage::setColor(const QColor &color)
{
    if (m_color == color)
        return;
    m_color = color;
    update();
    Q_EMIT colorChanged();
}

void SymbolImage::paint(QPainter *painter)
{
    if (!m_renderer || width() <= 0 || height() <= 0)
        return;
    // Fit the symbol's view box into the item, keeping its proportions.
    QSizeF box = m_renderer->viewBoxF().size();
    if (box.isEmpty())
        box = QSizeF(1, 1);
    const QSizeF fitted = box.scaled(size(), Qt::KeepAspectRatio);
    const QRectF target(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);

    // Draw the black symbol into its own layer at the painter's resolution, then tint it.
    const qreal dpr = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    QImage layer(QSize(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr))),
                 QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing, true);
        m_renderer->render(&p, target);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(QRectF(0, 0, width(), height()), m_color);
    }
    painter->drawImage(QPointF(0, 0), layer);
}

} // namespace tavrenhold
