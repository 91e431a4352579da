#include "FocusPane.h"

#include "design/NotchTime.h"
#include "platform/Defaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace tavrenhold {

namespace {
// The longest single sleep: far deadlines are reached a day at a time.
constexpr double maxSleepSeconds = 86400;

// Keeps an unreadable record beside the defaults file under a name no earlier copy has; a record
// kept there by an earlier start is not copied again.
QString setAside(const QString &defaultsPath, const QByteArray &bytes)
{
    const QFileInfo defaults(defaultsPath);
    const QDir folder = defaults.absoluteDir();
    const QString prefix = QStringLiteral("focus.pomodoro.corrupt.");
    for (const QFileInfo &earlier : folder.entryInfoList({prefix + QLatin1Char('*')}, QDir::Files, QDir::Name)) {
        if (earlier.size() != bytes.size())
            continue;
        QFile file(earlier.filePath());
        if (file.open(QIODevice::ReadOnly) && file.read(bytes.size() + 1) == bytes)
            return earlier.filePath();
    }
    const QString base = folder.filePath(prefix + QString::number(QDateTime::currentSecsSinceEpoch()));
    QString candidate = base + QStringLiteral(".json");
    for (int n = 1; QFileInfo::exists(candidate); ++n)
        candidate = base + QStringLiteral("-%1.json").arg(n);
    QSaveFile file(candidate);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return {};
    return candidate;
}
} // namespace

FocusPane::FocusPane(platform::Defaults &defaults, Clock &clock, QObject *parent)
    : NotchPane(parent), m_defaults(defaults), m_clock(clock)
{
    load();
    scheduleDeadline();
}

FocusPane::~FocusPane() { m_deadline.cancel(); }

double FocusPane::now() const { return referenceSeconds(m_clock.wallNow()); }

void FocusPane::load()
{
    if (!m_defaults.contains(defaultsKey))
        return;
    QByteArray stored;
    if (const auto data = m_defaults.data(defaultsKey)) {
        auto decoded = decodePomodoro(*data, now());
        if (decoded) {
            m_state = std::move(decoded).value();
            m_state.rollForward(now());
            return;
        }
        stored = *data;
    } else {
        // Not a data value: keep its JSON text.
        const QJsonValue value = m_defaults.object(defaultsKey);
        stored = QJsonDocument::fromVariant(QVariantList{value.toVariant()}).toJson(QJsonDocument::Compact);
        stored = stored.mid(1, stored.size() - 2);
    }
    // The defaults are used; the record would be lost at the next write, so keep a copy.
    m_setAside = setAside(m_defaults.filePath(), stored);
}

void FocusPane::setState(const PomodoroState &state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
    Q_EMIT idleChanged();
}

void FocusPane::raisePulse()
{
    ++m_pulse;
    Q_EMIT pulseChanged();
    Q_EMIT idleChanged();
}

IdleSignal FocusPane::idle() const
{
    if (m_state.isIdle())
        return IdleSignal::inactive;
    const double at = now();
    IdleSignal signal;
    signal.isLive = true;
    signal.priority = 90;
    std::optional<TimeSpan> span;
    if (const auto s = m_state.span()) {
        const QDateTime lower = fromReferenceSeconds(s->first);
        const QDateTime upper = fromReferenceSeconds(s->second);
        if (lower.isValid() && upper.isValid())
            span = TimeSpan{lower, upper};
    }
    signal.pinnedLeading = IdleRing{m_state.progress(at), notchTime(m_state.remaining(at)), span};
    signal.pulse = m_pulse;
    return signal;
}

QUrl FocusPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Focus/qml/FocusPaneView.qml")); }

void FocusPane::activate()
{
    PomodoroState next = m_state;
    next.rollForward(now());
    setState(next);
    persist();
    scheduleDeadline();
}

void FocusPane::toggle()
{
    PomodoroState next = m_state;
    next.toggle(now());
    setState(next);
    persist();
    scheduleDeadline();
}

void FocusPane::reset()
{
    PomodoroState next = m_state;
    next.run = FocusIdle{};
    next.runDuration.reset();
    setState(next);
    persist();
    scheduleDeadline();
}

void FocusPane::skip()
{
    PomodoroState next = m_state;
    next.complete(now());
    setState(next);
    raisePulse();
    persist();
    scheduleDeadline();
}

void FocusPane::resetRoundsToday()
{
    PomodoroState next = m_state;
    next.roundsDay = startOfDay(now());
    next.roundsToday = 0;
    setState(next);
    persist();
}

void FocusPane::persist()
{
    if (const auto bytes = encodePomodoro(m_state))
        m_defaults.setData(defaultsKey, *bytes);
}

void FocusPane::scheduleDeadline()
{
    const CancelToken token = m_deadline.renew();
    if (!m_state.isRunning())
        return;
    waitForDeadline(QPointer(this), m_clock, token);
}

QCoro::Task<> FocusPane::waitForDeadline(QPointer<FocusPane> self, Clock &clock, CancelToken token)
{
    for (;;) {
        const auto *running = std::get_if<FocusRunning>(&self->m_state.run);
        if (!running)
            co_return;
        const double now = referenceSeconds(clock.wallNow());
        const double wake = std::min(running->deadline, now + maxSleepSeconds);
        const bool slept = co_await clock.sleepUntil(fromReferenceSeconds(wake), token);
        if (!slept || token.isCancelled() || !self)
            co_return;
        // A wake-up before the deadline (a day step, or the clock set back) completes nothing and
        // raises no pulse: sleep again.
        PomodoroState next = self->m_state;
        next.rollForward(self->now());
        if (next == self->m_state)
            continue;
        self->setState(next);
        self->raisePulse();
        self->persist();
        self->scheduleDeadline();
        co_return;
    }
}

} // namespace tavrenhold
