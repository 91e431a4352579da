#include "Clock.h"

#include <QCoroSignal>
#include <QTimer>

namespace tavrenhold {

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}

MonoTime SystemClock::now() const { return std::chrono::steady_clock::now(); }

QDateTime SystemClock::wallNow() const { return QDateTime::currentDateTimeUtc(); }

QCoro::Task<bool> SystemClock::sleepFor(Millis d, CancelToken token)
{
    if (token.isCancelled())
        co_return false;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(d < Millis(2000) ? Qt::PreciseTimer : Qt::CoarseTimer);
    const auto connection = token.onCancel(&timer, [&timer] { timer.start(0); });
    timer.start(std::max(d, Millis(0)));
    co_await qCoro(&timer, &QTimer::timeout);
    QObject::disconnect(connection);
    co_return !token.isCancelled();
}

} // namespace tavrenhold
