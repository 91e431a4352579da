#include "ManualClock.h"

#include <algorithm>

namespace tavrenhold::test {

ManualClock::ManualClock()
    : m_now(MonoTime(std::chrono::hours(1000)))
    , m_wallAnchorMono(m_now)
    , m_wallAnchor(QDateTime(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC))
{
}

QDateTime ManualClock::wallNow() const
{
    const auto ms = std::chrono::duration_cast<Millis>(m_now - m_wallAnchorMono).count();
    return m_wallAnchor.addMSecs(ms);
}

MonoTime ManualClock::monoFor(const QDateTime &wall) const
{
    return m_wallAnchorMono + Millis(m_wallAnchor.msecsTo(wall));
}

void ManualClock::setWall(const QDateTime &wall)
{
    m_wallAnchor = wall;
    m_wallAnchorMono = m_now;
    std::vector<std::shared_ptr<Sleeper>> woken;
    for (const auto &sleeper : m_sleepers) {
        if (sleeper->wallDeadline.isValid()) {
            sleeper->deadline = monoFor(sleeper->wallDeadline);
            woken.push_back(sleeper);
        }
    }
    for (const auto &sleeper : woken) {
        std::erase(m_sleepers, sleeper);
        sleeper->wakeup.fire();
    }
}

QCoro::Task<bool> ManualClock::sleepFor(Millis d, CancelToken token)
{
    auto sleeper = std::make_shared<Sleeper>();
    sleeper->deadline = m_now + std::max(d, Millis(0));
    return sleep(std::move(sleeper), std::move(token));
}

QCoro::Task<bool> ManualClock::sleepUntil(QDateTime deadline, CancelToken token)
{
    auto sleeper = std::make_shared<Sleeper>();
    sleeper->wallDeadline = deadline.isValid() ? deadline : wallNow();
    sleeper->deadline = std::max(m_now, monoFor(sleeper->wallDeadline));
    return sleep(std::move(sleeper), std::move(token));
}

QCoro::Task<bool> ManualClock::sleep(std::shared_ptr<Sleeper> sleeper, CancelToken token)
{
    if (token.isCancelled())
        co_return false;
    if (sleeper->wallDeadline.isValid() && sleeper->deadline <= m_now)
        co_return !token.isCancelled();
    m_sleepers.push_back(sleeper);
    const auto connection = token.onCancel([weak = std::weak_ptr(sleeper)] {
        if (auto s = weak.lock())
            s->wakeup.fire();
    });
    co_await sleeper->wakeup.wait();
    QObject::disconnect(connection);
    std::erase(m_sleepers, sleeper);
    co_return !token.isCancelled();
}

bool ManualClock::hasSleeperUntil(MonoTime deadline) const
{
    return std::any_of(m_sleepers.begin(), m_sleepers.end(),
                       [deadline](const auto &sleeper) { return sleeper->deadline == deadline; });
}

void ManualClock::advance(Millis d)
{
    const MonoTime target = m_now + d;
    for (;;) {
        auto due = std::min_element(m_sleepers.begin(), m_sleepers.end(),
                                    [](const auto &a, const auto &b) { return a->deadline < b->deadline; });
        if (due == m_sleepers.end() || (*due)->deadline > target)
            break;
        auto sleeper = *due;
        m_sleepers.erase(due);
        m_now = std::max(m_now, sleeper->deadline);
        sleeper->wakeup.fire();
    }
    m_now = target;
}

} // namespace tavrenhold::test
