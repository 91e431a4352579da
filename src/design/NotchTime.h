#pragma once

#include <QString>

namespace tavrenhold {

// Seconds as a clock text: "m:ss" below an hour, "h:mm:ss" from an hour on. Values of 100000 and more
// are taken as a finer unit and divided by 1000 until below; not above 0, or not finite, reads as 0.
[[nodiscard]] QString notchTime(double seconds);

} // namespace tavrenhold
