#include "RoundedPicture.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tavrenhold {

QRectF pictureFillSource(const QSizeF &picture, const QSizeF &target)
{
    if (picture.isEmpty() || target.isEmpty())
        return QRectF(QPointF(0, 0), picture);
    const double scale = std::max(target.width() / picture.width(), target.height() / picture.height());
    const QSizeF shown(target.width() / scale, target.height() / scale);
    return QRectF(QPointF((picture.width() - shown.width()) / 2, (picture.height() - shown.height()) / 2), shown);
}

void paintRoundedPicture(QPainter &painter, const QRectF &bounds, double radius, const QImage &picture,
                         const QColor &backing)
{
    if (bounds.isEmpty())
        return;
    const double r = std::clamp(radius, 0.0, std::min(bounds.width(), bounds.height()) / 2);
    QPainterPath shape;
    shape.addRoundedRect(bounds, r, r);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (backing.alpha() > 0)
        painter.fillPath(shape, backing);
    if (picture.isNull())
        return;
    painter.setClipPath(shape);
    painter.drawImage(bounds, picture, pictureFillSource(picture.size(), bounds.size()));
}

} // namespace tavrenhold
