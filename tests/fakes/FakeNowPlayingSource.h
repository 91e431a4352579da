#pragma once

#include "nowplaying/NowPlayingSource.h"

#include <QStringList>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace tavrenhold {
class Wakeup;
}

namespace tavrenhold::test {

// A now-playing source driven by the test: scripted probe answers, a stream of states the test pushes
// into and can end, every call recorded, and steps that can be held so a caller is caught mid-await.
class FakeNowPlayingSource final : public NowPlayingSource {
    Q_OBJECT
public:
    enum class Step { probe, start, stop, setCadence, events, send };

    explicit FakeNowPlayingSource(QString sourceID, QObject *parent = nullptr);
    ~FakeNowPlayingSource() override;

    QString sourceID() const override { return m_sourceID; }
    QCoro::Task<bool> probe() override;
    QCoro::Task<> start() override;
    QCoro::Task<> stop() override;
    QCoro::Task<> setCadence(NowPlayingCadence cadence) override;
    QCoro::Task<std::shared_ptr<NowPlayingStateStream>> events() override;
    QCoro::Task<NowPlayingState> snapshot() override;
    QCoro::Task<> send(TransportCommand command) override;

    // Probes answer the queued answers in order, then `answer` (false unless set).
    void setProbeAnswer(bool answer) { m_probeAnswer = answer; }
    void queueProbeAnswers(std::initializer_list<bool> answers);

    // While a step is held, each call of it is recorded and then waits; release() ends the hold and
    // resumes the waiting calls, in order, before it returns.
    void hold(Step step);
    void release(Step step);
    [[nodiscard]] int waiting(Step step) const;

    // Every call as it arrives: "probe", "start", "stop", "cadence:<foreground|background|suspended>",
    // "events", "send:<play|pause|toggle|next|previous>", "send:seek:<seconds>".
    [[nodiscard]] const QStringList &calls() const { return m_calls; }
    [[nodiscard]] int count(const QString &call) const { return int(m_calls.count(call)); }
    void clearCalls() { m_calls.clear(); }

    // Started and not stopped since (set when start() and stop() finish).
    [[nodiscard]] bool isRunning() const { return m_running; }
    // A stream handed out by events() that has not been ended.
    [[nodiscard]] bool hasOpenStream() const { return m_stream && !m_stream->isFinished(); }

    // Makes `state` current and pushes it into the open stream, even when it equals the last one.
    void push(const NowPlayingState &state);
    // Gives up as a failing source does: not running, current state idle, and the open stream ends.
    void giveUp();

private:
    QCoro::Task<> pass(Step step);

    QString m_sourceID;
    bool m_probeAnswer = false;
    std::deque<bool> m_probeAnswers;
    std::set<Step> m_held;
    std::map<Step, std::vector<std::shared_ptr<Wakeup>>> m_waiting;
    QStringList m_calls;
    bool m_running = false;
    NowPlayingState m_current = NowPlayingState::idle();
    std::shared_ptr<NowPlayingStateStream> m_stream;
};

} // namespace tavrenhold::test
