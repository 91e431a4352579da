#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>

class QPainter;

namespace tavrenhold {

// The part of a picture of `picture` size that fills `target` with its aspect ratio kept (the
// overflow cut off evenly on both sides); the whole picture when either size is empty.
[[nodiscard]] QRectF pictureFillSource(const QSizeF &picture, const QSizeF &target);

// Draws `picture` filling `bounds` inside a rounded rectangle of `radius` (clamped to half the
// shorter side), with `backing` laid under it first; the backing alone when there is no picture.
// Painted with QPainter, so the rounded clip holds on every scene graph.
void paintRoundedPicture(QPainter &painter, const QRectF &bounds, double radius, const QImage &picture,
                         const QColor &backing = Qt::transparent);

} // namespace tavrenhold
