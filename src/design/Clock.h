#pragma once

#include "CancelToken.h"

#include <QDateTime>
#include <QCoroTask>

#include <chrono>

namespace tavrenhold {

using MonoTime = std::chrono::steady_clock::time_point;
using Millis = std::chrono::milliseconds;

// The time source and sleeper every timed rule goes through, so tests can drive time by hand.
class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic time, for delays and intervals.
    [[nodiscard]] virtual MonoTime now() const = 0;
    // Wall-clock time, for deadlines that must survive a suspend.
    [[nodiscard]] virtual QDateTime wallNow() const = 0;
    // Waits d on the main thread's event loop; false when the token was cancelled first
    // (a cancelled sleep ends at once).
    virtual QCoro::Task<bool> sleepFor(Millis d, CancelToken token = {}) = 0;
    // Waits until the wall clock reaches `deadline`, counting time the machine spent suspended.
    // Also wakes early when the wall clock is set (the caller checks the time again); false when
    // the token was cancelled first. An invalid deadline wakes at once.
    virtual QCoro::Task<bool> sleepUntil(QDateTime deadline, CancelToken token = {}) = 0;

    // The real clock, shared for the run.
    static Clock &system();
};

class SystemClock final : public Clock {
public:
    MonoTime now() const override;
    QDateTime wallNow() const override;
    QCoro::Task<bool> sleepFor(Millis d, CancelToken token = {}) override;
    QCoro::Task<bool> sleepUntil(QDateTime deadline, CancelToken token = {}) override;
};

} // namespace tavrenhold
