#include "NotchTime.h"

#include <cmath>

namespace tavrenhold {

QString notchTime(double seconds)
{
    double value = (std::isfinite(seconds) && seconds > 0) ? seconds : 0.0;
    while (value >= 100000)
        value /= 1000;
    const auto s = static_cast<long long>(std::round(value)); // halves away from zero
    if (s < 3600)
        return QString::asprintf("%lld:%02lld", s / 60, s % 60);
    return QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
}

} // namespace tavrenhold
