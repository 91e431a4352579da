#pragma once

#include <QPainterPath>
#include <QRectF>

namespace tavrenhold {

// The outline of the notch surface: a body with square top corners and rounded bottom corners,
// widened at the top by two concave flares so it seems to grow out of the screen's top edge. One path
// serves for the fill, the clip and the hit shape. Coordinates grow downwards.
struct NotchSilhouette {
    double flareRadius = 0;
    double bottomRadius = 0;

    [[nodiscard]] QPainterPath path(const QRectF &rect) const;
    // The same outline as SVG path data, for QML shapes.
    [[nodiscard]] QString svgPath(const QRectF &rect) const;

    bool operator==(const NotchSilhouette &) const = default;
};

} // namespace tavrenhold
