#include "FakeNowPlayingSource.h"

#include "base/Wakeup.h"

namespace tavrenhold::test {

namespace {
QString cadenceName(NowPlayingCadence cadence)
{
    switch (cadence) {
    case NowPlayingCadence::foreground:
        return QStringLiteral("foreground");
    case NowPlayingCadence::background:
        return QStringLiteral("background");
    case NowPlayingCadence::suspended:
        return QStringLiteral("suspended");
    }
    return {};
}

QString commandName(const TransportCommand &command)
{
    switch (command.kind) {
    case TransportCommand::Kind::seek:
        return QStringLiteral("seek:") + QString::number(command.seconds);
    case TransportCommand::Kind::play:
        return QStringLiteral("play");
    case TransportCommand::Kind::pause:
        return QStringLiteral("pause");
    case TransportCommand::Kind::toggle:
        return QStringLiteral("toggle");
    case TransportCommand::Kind::next:
        return QStringLiteral("next");
    case TransportCommand::Kind::previous:
        return QStringLiteral("previous");
    }
    return {};
}
} // namespace

FakeNowPlayingSource::FakeNowPlayingSource(QString sourceID, QObject *parent)
    : NowPlayingSource(parent), m_sourceID(std::move(sourceID))
{
}

FakeNowPlayingSource::~FakeNowPlayingSource()
{
    if (m_stream)
        m_stream->finish();
}

void FakeNowPlayingSource::queueProbeAnswers(std::initializer_list<bool> answers)
{
    m_probeAnswers.insert(m_probeAnswers.end(), answers);
}

void FakeNowPlayingSource::hold(Step step) { m_held.insert(step); }

void FakeNowPlayingSource::release(Step step)
{
    m_held.erase(step);
    const auto waiters = std::exchange(m_waiting[step], {});
    for (const auto &wakeup : waiters)
        wakeup->fire();
}

int FakeNowPlayingSource::waiting(Step step) const
{
    const auto it = m_waiting.find(step);
    return it == m_waiting.end() ? 0 : int(it->second.size());
}

QCoro::Task<> FakeNowPlayingSource::pass(Step step)
{
    if (!m_held.contains(step))
        co_return;
    auto wakeup = std::make_shared<Wakeup>();
    m_waiting[step].push_back(wakeup);
    co_await wakeup->wait();
}

QCoro::Task<bool> FakeNowPlayingSource::probe()
{
    m_calls.append(QStringLiteral("probe"));
    bool answer = m_probeAnswer;
    if (!m_probeAnswers.empty()) {
        answer = m_probeAnswers.front();
        m_probeAnswers.pop_front();
    }
    co_await pass(Step::probe);
    co_return answer;
}

QCoro::Task<> FakeNowPlayingSource::start()
{
    m_calls.append(QStringLiteral("start"));
    co_await pass(Step::start);
    m_running = true;
}

QCoro::Task<> FakeNowPlayingSource::stop()
{
    m_calls.append(QStringLiteral("stop"));
    co_await pass(Step::stop);
    m_running = false;
    m_current = NowPlayingState::idle();
    if (m_stream)
        m_stream->finish();
}

QCoro::Task<> FakeNowPlayingSource::setCadence(NowPlayingCadence cadence)
{
    m_calls.append(QStringLiteral("cadence:") + cadenceName(cadence));
    co_await pass(Step::setCadence);
}

QCoro::Task<std::shared_ptr<NowPlayingStateStream>> FakeNowPlayingSource::events()
{
    m_calls.append(QStringLiteral("events"));
    co_await pass(Step::events);
    if (m_stream)
        m_stream->finish();
    m_stream = NowPlayingStateStream::make(nowPlayingStreamDepth);
    m_stream->yield(m_current);
    // A copy: QCoro's co_return moves from a non-const lvalue, which would empty the member.
    auto stream = m_stream;
    co_return stream;
}

QCoro::Task<NowPlayingState> FakeNowPlayingSource::snapshot()
{
    NowPlayingState current = m_current;
    co_return current;
}

QCoro::Task<> FakeNowPlayingSource::send(TransportCommand command)
{
    m_calls.append(QStringLiteral("send:") + commandName(command));
    co_await pass(Step::send);
}

void FakeNowPlayingSource::push(const NowPlayingState &state)
{
    m_current = state;
    if (m_stream)
        m_stream->yield(state);
}

void FakeNowPlayingSource::giveUp()
{
    m_running = false;
    m_current = NowPlayingState::idle();
    if (m_stream)
        m_stream->finish();
}

} // namespace tavrenhold::test
