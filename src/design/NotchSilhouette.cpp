#include "NotchSilhouette.h"

#include <algorithm>
#include <cmath>

namespace tavrenhold {

namespace {
// Control-point distance of a cubic quarter circle.
constexpr double kKappa = 0.5522847498;
} // namespace

QPainterPath NotchSilhouette::path(const QRectF &rect) const
{
    QPainterPath path;
    if (!rect.isValid())
        return path;
    path.setFillRule(Qt::WindingFill);

    double flare = std::isnan(flareRadius) ? 0 : std::min({rect.height(), rect.width() / 2, flareRadius});
    if (!(flare > 0)) // negative or not a number
        flare = 0;
    const QRectF body = rect.adjusted(flare, 0, -flare, 0);

    // Body: square top corners, rounded bottom corners; the radius shrinks to what the body allows.
    double r = std::isfinite(bottomRadius) ? bottomRadius : 0;
    r = std::clamp(r, 0.0, std::min(body.width() / 2, body.height() / 2));
    const double k = r * kKappa;
    path.moveTo(body.left(), body.top());
    path.lineTo(body.right(), body.top());
    path.lineTo(body.right(), body.bottom() - r);
    if (r > 0)
        path.cubicTo(body.right(), body.bottom() - r + k, body.right() - r + k, body.bottom(), body.right() - r,
                     body.bottom());
    path.lineTo(body.left() + r, body.bottom());
    if (r > 0)
        path.cubicTo(body.left() + r - k, body.bottom(), body.left(), body.bottom() - r + k, body.left(),
                     body.bottom() - r);
    path.closeSubpath();

    if (flare == 0)
        return path;

    // Each flare: the square beside the body's top corner less a quarter disc, so the full-width top
    // edge bends smoothly into the body's side.
    const double top = rect.top();
    const double f = flare;
    const double fk = f * kKappa;
    // Left: centre (rect.left, top + f); arc from (rect.left, top) to (body.left, top + f).
    path.moveTo(body.left(), top + f);
    path.lineTo(body.left(), top);
    path.lineTo(rect.left(), top);
    path.cubicTo(rect.left() + fk, top, body.left(), top + f - fk, body.left(), top + f);
    path.closeSubpath();
    // Right: the mirror image.
    path.moveTo(body.right(), top + f);
    path.lineTo(body.right(), top);
    path.lineTo(rect.right(), top);
    path.cubicTo(rect.right() - fk, top, body.right(), top + f - fk, body.right(), top + f);
    path.closeSubpath();
    return path;
}

QString NotchSilhouette::svgPath(const QRectF &rect) const
{
    const QPainterPath p = path(rect);
    QString out;
    if (p.isEmpty())
        return out;
    const auto num = [](double v) { return QString::number(v, 'f', 3); };
    for (int i = 0; i < p.elementCount(); ++i) {
        const QPainterPath::Element e = p.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            if (i > 0)
                out += QStringLiteral("Z ");
            out += QStringLiteral("M %1 %2 ").arg(num(e.x), num(e.y));
            break;
        case QPainterPath::LineToElement:
            out += QStringLiteral("L %1 %2 ").arg(num(e.x), num(e.y));
            break;
        case QPainterPath::CurveToElement: {
            const auto c2 = p.elementAt(i + 1);
            const auto end = p.elementAt(i + 2);
            out += QStringLiteral("C %1 %2 %3 %4 %5 %6 ")
                       .arg(num(e.x), num(e.y), num(c2.x), num(c2.y), num(end.x), num(end.y));
            i += 2;
            break;
        }
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    if (!out.isEmpty())
        out += QStringLiteral("Z");
    return out;
}

} // namespace tavrenhold
