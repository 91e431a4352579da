#pragma once

#include "BoundedStream.h"
#include "NowPlayingSource.h"
#include "PlayerBroadcast.h"
#include "PlayerKind.h"
#include "PlayerScripts.h"

#include "design/CancelToken.h"
#include "design/Clock.h"

#include <QPointer>

#include <map>
#include <memory>
#include <optional>
#include <set>

namespace tavrenhold {

class AppleEventRunner;
class PlayerWorkspace;

// The now-playing source that reads Spotify and Music directly: one reading per running player, fed
// by scripts (state on start, on a player's launch or quit, on the foreground cadence and after each
// command; position while the published state plays, every 1 s in the foreground cadence and every
// 6 s in the background one) and by the players' own notifications. It publishes the winning reading
// (playing beats paused, then the latest replaced), carries out transport commands by script, and
// raises automationDenied for a running player that refused a script. The coordinator's fallback.
//
// Main-thread object whose operations are coroutines: one runs at a time, and others may run while
// it awaits a script or a sleep; a script answer that comes after the player's reading was replaced
// is dropped.
class AppleScriptSource final : public NowPlayingSource {
    Q_OBJECT
public:
    static constexpr Millis foregroundPollInterval{1000};
    static constexpr Millis backgroundPollInterval{6000};
    // Between a command and the reading of the player it went to.
    static constexpr Millis commandSettleDelay{350};
    // A polled position further than this from the extrapolated one is published.
    static constexpr double positionTolerance = 0.6;
    // Player events waiting to be handled; older ones are dropped first.
    static constexpr qsizetype eventBufferDepth = 16;

    // On the real clock, with the shared runner, workspace and notification centre.
    explicit AppleScriptSource(QObject *parent = nullptr);
    // The clock, runner, workspace and centre must outlive the source.
    AppleScriptSource(Clock &clock, AppleEventRunner &runner, PlayerWorkspace &workspace,
                      PlayerNotificationCenter &center, QObject *parent = nullptr);
    ~AppleScriptSource() override;

    [[nodiscard]] QString sourceID() const override { return QStringLiteral("applescript"); }
    // At least one player is installed.
    QCoro::Task<bool> probe() override;
    QCoro::Task<> start() override;
    QCoro::Task<> stop() override;
    QCoro::Task<> setCadence(NowPlayingCadence cadence) override;
    QCoro::Task<std::shared_ptr<NowPlayingStateStream>> events() override;
    QCoro::Task<NowPlayingState> snapshot() override;
    QCoro::Task<> send(TransportCommand command) override;

    // What the source holds now.
    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] const NowPlayingState &current() const { return m_current; }
    [[nodiscard]] const std::map<PlayerKind, PlayerSnapshot> &snapshots() const { return m_snapshots; }
    [[nodiscard]] const std::set<PlayerKind> &deniedPlayers() const { return m_deniedPlayers; }
    [[nodiscard]] NowPlayingCadence cadence() const { return m_cadence; }
    [[nodiscard]] bool isPolling() const { return m_pollTask.has_value(); }
    [[nodiscard]] bool isSubscribed() const { return m_bridge != nullptr; }

    // The reading to publish: of the readings with a track that are not stopped, the playing ones if
    // any, and of those the one replaced last (the first met, in player order, on a tie).
    [[nodiscard]] static std::optional<PlayerSnapshot> winner(const std::map<PlayerKind, PlayerSnapshot> &snapshots);

private:
    using EventStream = BoundedStream<PlayerEvent>;

    [[nodiscard]] std::optional<PlayerKind> commandTarget() const;
    [[nodiscard]] bool runs(PlayerKind kind) const;
    QCoro::Task<> refreshAll();
    QCoro::Task<> refresh(PlayerKind kind);
    QCoro::Task<> reconcile(std::optional<PlayerKind> kind);
    QCoro::Task<> ingest(PlayerBroadcast broadcast);
    QCoro::Task<> fetchArtworkURLIfNeeded();
    void publish();
    void reschedulePoll();
    void store(const PlayerSnapshot &snapshot, bool replaced);
    void finishEvents();
    void endPlayerEvents();

    static QCoro::Task<> runEvents(QPointer<AppleScriptSource> self, std::shared_ptr<EventStream> stream,
                                   CancelToken token);
    static QCoro::Task<> runPoll(QPointer<AppleScriptSource> self, Clock &clock, Millis interval, CancelToken token);

    Clock &m_clock;
    AppleEventRunner &m_runner;
    PlayerWorkspace &m_workspace;
    PlayerNotificationCenter &m_center;

    std::map<PlayerKind, PlayerSnapshot> m_snapshots;
    NowPlayingState m_current = NowPlayingState::idle();
    std::shared_ptr<NowPlayingStateStream> m_continuation;
    std::unique_ptr<PlayerBroadcastBridge> m_bridge;
    std::optional<CancelToken> m_eventTask;
    std::shared_ptr<EventStream> m_eventContinuation;
    NowPlayingCadence m_cadence = NowPlayingCadence::background;
    std::optional<CancelToken> m_pollTask;
    bool m_running = false;
    std::set<PlayerKind> m_deniedPlayers;
    // Counts, per player, how often its reading was replaced (its updatedAt set): a script answer is
    // dropped when the count moved while the script ran, even within the clock's resolution.
    std::map<PlayerKind, quint64> m_replacements;
};

} // namespace tavrenhold
