#include "RingTimeline.h"

#include "NotchShellModel.h"
#include "design/NotchTime.h"

#include <algorithm>

namespace tavrenhold {

namespace {

// A fraction for drawing: within 0 … 1, and 0 for anything that is not a number.
double unit(double value)
{
    if (!(value > 0))
        return 0;
    return std::min(value, 1.0);
}

} // namespace

bool ringTicks(const TimeSpan &span)
{
    return span.lower.isValid() && span.upper.isValid() && span.upper > span.lower;
}

RingReading ringReading(const TimeSpan &span, const QDateTime &date)
{
    const QDateTime clamped = std::min(std::max(date, span.lower), span.upper);
    const double length = double(span.lower.msecsTo(span.upper));
    const double gone = double(span.lower.msecsTo(clamped));
    return RingReading{length > 0 ? unit(gone / length) : 0, notchTime(double(clamped.msecsTo(span.upper)) / 1000.0)};
}

QDateTime ringTick(const TimeSpan &span, const QDateTime &now)
{
    if (now <= span.lower)
        return span.lower;
    const qint64 seconds = span.lower.msecsTo(now) / 1000;
    return span.lower.addSecs(seconds);
}

RingTimeline::RingTimeline(QObject *parent) : QObject(parent) { restart(); }

RingTimeline::~RingTimeline() = default;

void RingTimeline::setShell(NotchShellModel *shell)
{
    if (shell == m_shell)
        return;
    m_shell = shell;
    Q_EMIT inputsChanged();
    restart();
}

void RingTimeline::setProgress(double progress)
{
    if (progress == m_progress)
        return;
    m_progress = progress;
    Q_EMIT inputsChanged();
    restart();
}

void RingTimeline::setLabel(const QString &label)
{
    if (label == m_label)
        return;
    m_label = label;
    Q_EMIT inputsChanged();
    restart();
}

void RingTimeline::setHasSpan(bool has)
{
    if (has == m_hasSpan)
        return;
    m_hasSpan = has;
    Q_EMIT inputsChanged();
    restart();
}

void RingTimeline::setSpanStart(const QDateTime &start)
{
    if (start == m_start)
        return;
    m_start = start;
    Q_EMIT inputsChanged();
    restart();
}

void RingTimeline::setSpanEnd(const QDateTime &end)
{
    if (end == m_end)
        return;
    m_end = end;
    Q_EMIT inputsChanged();
    restart();
}

void RingTimeline::classBegin() { m_complete = false; }

void RingTimeline::componentComplete()
{
    m_complete = true;
    restart();
}

Clock &RingTimeline::clock() const { return m_shell ? m_shell->clock() : Clock::system(); }

void RingTimeline::restart()
{
    if (!m_complete)
        return;
    m_run.cancel();
    const TimeSpan span{m_start, m_end};
    if (!m_hasSpan || !ringTicks(span)) {
        setTicking(false);
        show(RingReading{unit(m_progress), m_label});
        return;
    }
    run(QPointer(this), clock(), span, m_run.renew());
}

QCoro::Task<> RingTimeline::run(QPointer<RingTimeline> self, Clock &clock, TimeSpan span, CancelToken token)
{
    for (;;) {
        const QDateTime now = clock.wallNow();
        const QDateTime tick = ringTick(span, now);
        self->show(ringReading(span, tick));
        if (tick >= span.upper) {
            self->setTicking(false);
            co_return;
        }
        self->setTicking(true);
        const QDateTime next = now < span.lower ? span.lower : tick.addSecs(1);
        const qint64 wait = std::max<qint64>(1, now.msecsTo(next));
        co_await clock.sleepFor(Millis(wait), token);
        if (token.isCancelled() || !self)
            co_return;
    }
}

void RingTimeline::show(const RingReading &reading)
{
    if (reading == m_shown)
        return;
    m_shown = reading;
    Q_EMIT shownChanged();
}

void RingTimeline::setTicking(bool ticking)
{
    if (ticking == m_ticking)
        return;
    m_ticking = ticking;
    Q_EMIT tickingChanged();
}

} // namespace tavrenhold
