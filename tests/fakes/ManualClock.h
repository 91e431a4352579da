#pragma once

#include "design/Clock.h"
#include "base/Wakeup.h"

#include <memory>
#include <vector>

namespace tavrenhold::test {

// A clock that moves only when a test advances it; sleepers wake in deadline order, each resumed
// directly so a test sees the effect of a wake-up as soon as advance() returns.
class ManualClock final : public Clock {
public:
    ManualClock();

    MonoTime now() const override { return m_now; }
    QDateTime wallNow() const override;
    QCoro::Task<bool> sleepFor(Millis d, CancelToken token = {}) override;
    QCoro::Task<bool> sleepUntil(QDateTime deadline, CancelToken token = {}) override;

    // Moves time forward by d, waking every sleeper whose deadline falls inside, one at a time.
    void advance(Millis d);
    // Sets the wall clock without moving monotonic time (a suspend, or the user setting the clock):
    // like a real clock change it wakes every wall-clock sleeper, which checks the time again.
    void setWall(const QDateTime &wall);
    [[nodiscard]] int sleepers() const { return int(m_sleepers.size()); }
    // Whether someone sleeps until exactly `deadline` (a sleep that has begun and not yet ended).
    [[nodiscard]] bool hasSleeperUntil(MonoTime deadline) const;

private:
    struct Sleeper {
        MonoTime deadline;
        QDateTime wallDeadline; // set for sleepUntil; deadline then follows the wall clock
        Wakeup wakeup;
    };
    QCoro::Task<bool> sleep(std::shared_ptr<Sleeper> sleeper, CancelToken token);
    [[nodiscard]] MonoTime monoFor(const QDateTime &wall) const;
    MonoTime m_now;
    MonoTime m_wallAnchorMono;
    QDateTime m_wallAnchor;
    std::vector<std::shared_ptr<Sleeper>> m_sleepers;
};

} // namespace tavrenhold::test
