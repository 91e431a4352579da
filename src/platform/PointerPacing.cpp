#include "PointerPacing.h"

#include <algorithm>
#include <cmath>

namespace tavrenhold::platform::pointerpacing {

double distance(QPointF point, const QRectF &area)
{
    const double dx = std::max({area.left() - point.x(), 0.0, point.x() - area.right()});
    const double dy = std::max({area.top() - point.y(), 0.0, point.y() - area.bottom()});
    return std::hypot(dx, dy);
}

std::chrono::milliseconds rest(const PointerState &state, const QRectF &area)
{
    if (area.isEmpty() || state.buttons != Qt::NoButton)
        return frame;
    const double away = distance(state.position, area);
    if (away <= 0)
        return frame;
    const auto reach = std::chrono::milliseconds(std::llround(away / reachSpeed * 1000));
    return std::clamp(reach, farShortest, farLongest);
}

} // namespace tavrenhold::platform::pointerpacing
