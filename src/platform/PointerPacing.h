#pragma once

#include "PointerMonitor.h"

#include <chrono>

namespace tavrenhold::platform {

// How long a pointer monitor may leave motion unwatched after reporting a pointer that moved. Where
// the pointer matters (inside the attention area, or with a button held) that is one frame, so the
// pointer is read at most once a frame; outside the area it is the time a brisk hand needs to bring
// the pointer to the area's edge, within bounds, so a pointer moving far away is read a few times a
// second and the area is still reached before it is looked at again.
namespace pointerpacing {

// One read a frame, and never two closer than a 60 Hz consumer samples.
inline constexpr std::chrono::milliseconds frame{17};
// Outside the area: never shorter than this, nor longer than that.
inline constexpr std::chrono::milliseconds farShortest{200};
inline constexpr std::chrono::milliseconds farLongest{800};
// The speed (logical pixels a second) the pointer is assumed not to outrun on its way to the area.
inline constexpr double reachSpeed = 1200;

// The distance from `point` to `area` (0 inside or on its edge).
[[nodiscard]] double distance(QPointF point, const QRectF &area);

// The rest after a report of `state` with `area` as the attention area (empty: everywhere matters).
[[nodiscard]] std::chrono::milliseconds rest(const PointerState &state, const QRectF &area);

} // namespace pointerpacing
} // namespace tavrenhold::platform
