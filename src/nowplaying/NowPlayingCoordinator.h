#pragma once

#include "MusicPlayerOption.h"
#include "NowPlayingPublisher.h"
#include "NowPlayingSource.h"
#include "SerialQueue.h"

#include "design/CancelToken.h"
#include "design/Clock.h"

#include <QCoroTask>
#include <QList>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

namespace tavrenhold {

// The one now-playing service. It holds the system source (optional) and the fallback source, picks
// the active one by probing the system source, copies every state the active source streams into
// `state`, hands the system source back the lead when it becomes usable again while the fallback
// runs (a probe every 45 s), and forwards the cadence and transport commands to the active source.
//
// Selections run one at a time, in the order they were asked for; each one gives up as soon as it
// finds, after any wait on a source, that the coordinator was stopped meanwhile, and then leaves no
// source of its own running.
class NowPlayingCoordinator final : public NowPlayingPublisher {
    Q_OBJECT
    Q_PROPERTY(QString activeSourceID READ activeSourceIDText NOTIFY activeSourceIDChanged)
    Q_PROPERTY(QString launchingPlayer READ launchingPlayerText NOTIFY launchingPlayerChanged)

public:
    // Takes ownership of both sources. Starts nothing.
    NowPlayingCoordinator(NowPlayingSource *system, NowPlayingSource *fallback, Clock &clock = Clock::system(),
                          QObject *parent = nullptr);
    ~NowPlayingCoordinator() override;

    // Between two recovery probes of the system source while the fallback is active.
    static constexpr Millis recoveryInterval{45'000};

    [[nodiscard]] NowPlayingState state() const override { return m_state; }
    // "system" or "applescript"; absent before the first selection, after a stop, and while the
    // next selection must switch even to the same source.
    [[nodiscard]] std::optional<QString> activeSourceID() const { return m_activeSourceID; }
    [[nodiscard]] const QList<MusicPlayerOption> &installedPlayers() const { return m_installedPlayers; }
    // The bundle identifier of the player being launched; absent when no launch is under way.
    [[nodiscard]] std::optional<QString> launchingPlayer() const { return m_launchingPlayer; }
    [[nodiscard]] NowPlayingCadence cadence() const { return m_cadence; }
    [[nodiscard]] bool isStarted() const { return m_started; }

    // Once per run: loads the installed players and selects a source. Again while started: nothing.
    void start() override;
    // Cancels recovery and the pump, forgets the active source, publishes idle and stops that source
    // in the background.
    void stop() override;
    // Stores a new cadence and hands it to the active source; it reaches every later active source
    // right after its start.
    void setCadence(NowPlayingCadence cadence) override;
    // Forwards a command to the source active now; nothing without one. A seek to a position that is
    // not a finite number is dropped.
    void send(TransportCommand command);
    // Seeks to a fraction (clamped to 0 … 1) of the current track's duration; nothing without a
    // track of positive duration, or for a fraction that is not a finite number.
    void seek(double fraction);

Q_SIGNALS:
    void activeSourceIDChanged();
    void installedPlayersChanged();
    void launchingPlayerChanged();

private:
    struct Pump {
        CancelToken token;
        std::shared_ptr<NowPlayingStateStream> stream;
    };

    static QCoro::Task<> runSelection(QPointer<NowPlayingCoordinator> self);
    static QCoro::Task<> runPump(QPointer<NowPlayingCoordinator> self, std::shared_ptr<NowPlayingStateStream> stream,
                                 CancelToken token);
    static QCoro::Task<> runRecovery(QPointer<NowPlayingCoordinator> self, CancelToken token);

    void scheduleSystemRecovery();
    void cancelRecovery();
    void cancelPump();
    [[nodiscard]] bool isFallback(const NowPlayingSource *source) const;
    [[nodiscard]] QList<MusicPlayerOption> loadInstalledPlayers() const;

    void setState(const NowPlayingState &state);
    void setActiveSourceID(const std::optional<QString> &id);
    void setInstalledPlayers(const QList<MusicPlayerOption> &players);
    [[nodiscard]] QString activeSourceIDText() const { return m_activeSourceID.value_or(QString()); }
    [[nodiscard]] QString launchingPlayerText() const { return m_launchingPlayer.value_or(QString()); }

    NowPlayingState m_state = NowPlayingState::idle();
    std::optional<QString> m_activeSourceID;
    QList<MusicPlayerOption> m_installedPlayers;
    std::optional<QString> m_launchingPlayer;
    QPointer<NowPlayingSource> m_system;
    QPointer<NowPlayingSource> m_fallback;
    QPointer<NowPlayingSource> m_active;
    std::optional<Pump> m_pump;
    std::optional<CancelToken> m_recovery;
    NowPlayingCadence m_cadence = NowPlayingCadence::background;
    bool m_started = false;

    Clock &m_clock;
    // Shared with the selections in flight, which may outlive the coordinator.
    std::shared_ptr<SerialQueue> m_selections = std::make_shared<SerialQueue>();
    // Moves on at every stop(); a selection that sees it move has been overtaken.
    quint64 m_runGeneration = 0;
};

} // namespace tavrenhold
