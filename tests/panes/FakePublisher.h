#pragma once

#include "nowplaying/NowPlayingPublisher.h"

#include <QStringList>

namespace tavrenhold::test {

// A now-playing service the test publishes states into; records the pane's calls as "start", "stop"
// and "cadence:<foreground|background|suspended>".
class FakePublisher final : public NowPlayingPublisher {
public:
    NowPlayingState state() const override { return m_state; }
    void start() override { calls.append(QStringLiteral("start")); }
    void stop() override { calls.append(QStringLiteral("stop")); }
    void setCadence(NowPlayingCadence cadence) override
    {
        static const char *names[] = {"foreground", "background", "suspended"};
        calls.append(QStringLiteral("cadence:") + QLatin1String(names[int(cadence)]));
    }

    // Notifies only when the state changes, as the coordinator does.
    void publish(const NowPlayingState &state)
    {
        if (state == m_state)
            return;
        m_state = state;
        Q_EMIT stateChanged();
    }

    QStringList calls;

private:
    NowPlayingState m_state = NowPlayingState::idle();
};

} // namespace tavrenhold::test
