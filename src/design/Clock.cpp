#include "Clock.h"

#include <QCoroSignal>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>

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
    const MonoTime end = now() + d;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(d < Millis(2000) ? Qt::PreciseTimer : Qt::CoarseTimer);
    const auto connection = token.onCancel(&timer, [&timer] { timer.start(0); });
    timer.start(std::max(d, Millis(0)));
    co_await qCoro(&timer, &QTimer::timeout);
    // A coarse timer may fire up to 5 % early; callers count on having slept the whole of d (a wait
    // as long as a rest that is then checked against the clock would find the rest not yet over).
    while (!token.isCancelled() && now() < end) {
        timer.setTimerType(Qt::PreciseTimer);
        timer.start(std::chrono::ceil<Millis>(end - now()));
        co_await qCoro(&timer, &QTimer::timeout);
    }
    QObject::disconnect(connection);
    co_return !token.isCancelled();
}

namespace {
// A CLOCK_REALTIME timer file descriptor armed for an absolute time. Unlike QTimer (monotonic,
// stopped during suspend) it fires when the wall clock passes the deadline, also after a resume,
// and it wakes early when the clock is set.
class WallTimerFd {
public:
    explicit WallTimerFd(const QDateTime &deadline)
        : m_fd(::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC))
    {
        if (m_fd < 0)
            return;
        const qint64 ms = std::max<qint64>(deadline.toMSecsSinceEpoch(), 1);
        itimerspec spec{};
        spec.it_value.tv_sec = time_t(ms / 1000);
        spec.it_value.tv_nsec = long(ms % 1000) * 1000000L;
        if (::timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~WallTimerFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    WallTimerFd(const WallTimerFd &) = delete;
    WallTimerFd &operator=(const WallTimerFd &) = delete;

    [[nodiscard]] int fd() const { return m_fd; }
    // Consumes the expiry (or the clock-set notice, which reads as ECANCELED).
    void drain() const
    {
        quint64 expirations = 0;
        while (::read(m_fd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
        }
    }

private:
    int m_fd = -1;
};
} // namespace

QCoro::Task<bool> SystemClock::sleepUntil(QDateTime deadline, CancelToken token)
{
    if (token.isCancelled())
        co_return false;
    if (!deadline.isValid())
        co_return true;
    WallTimerFd timer(deadline);
    if (timer.fd() < 0) {
        // No timer descriptor to be had: fall back to a monotonic sleep for the remaining time.
        const qint64 left = std::max<qint64>(wallNow().msecsTo(deadline), 0);
        co_return co_await sleepFor(Millis(left), token);
    }
    QSocketNotifier notifier(timer.fd(), QSocketNotifier::Read);
    QTimer wake; // bridges a cancel into the one signal the coroutine awaits
    wake.setSingleShot(true);
    QObject::connect(&notifier, &QSocketNotifier::activated, &wake, [&] {
        notifier.setEnabled(false);
        timer.drain();
        wake.start(0);
    });
    const auto connection = token.onCancel(&wake, [&wake] { wake.start(0); });
    co_await qCoro(&wake, &QTimer::timeout);
    QObject::disconnect(connection);
    co_return !token.isCancelled();
}

} // namespace tavrenhold
