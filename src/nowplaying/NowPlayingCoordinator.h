#pragma once

#include "MusicPlayerOption.h"
#include "NowPlayingPublisher.h"
#include "NowPlayingSource.h"
#include "PlayerKind.h"
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

class AppleEventRunner;
class PlayerWorkspace;

// The one now-playing service. It holds the system source (optional) and the fallback source, picks
// the active one by probing the system source, copies every state the active source streams into
// `state`, hands the system source back the lead when it becomes usable again while the fallback
// runs (a probe every 45 s), and forwards the cadence and transport commands to the active source.
//
// Selections run one at a time, in the order they were asked for; each one gives up as soon as it
// finds, after any wait on a source, that the coordinator was stopped meanwhile, and then leaves no
// source of its own running.
//
// Beside the sources it offers the player operations that go straight to a player: reveal the
// current track, favourite it or ask whether it is a favourite (Music only), launch a player and get
// it playing, open the automation settings.
class NowPlayingCoordinator final : public NowPlayingPublisher {
    Q_OBJECT
    Q_PROPERTY(QString activeSourceID READ activeSourceIDText NOTIFY activeSourceIDChanged)
    Q_PROPERTY(QString launchingPlayer READ launchingPlayerText NOTIFY launchingPlayerChanged)
    Q_PROPERTY(bool isAppleMusic READ isAppleMusic NOTIFY stateChanged)

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
    [[nodiscard]] const QList<MusicPlayerOption> &installedPlayers() const override { return m_installedPlayers; }
    // The bundle identifier of the player being launched; absent when no launch is under way.
    [[nodiscard]] std::optional<QString> launchingPlayer() const override { return m_launchingPlayer; }
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
    void send(TransportCommand command) override;
    // Seeks to a fraction (clamped to 0 … 1) of the current track's duration; nothing without a
    // track of positive duration, or for a fraction that is not a finite number.
    void seek(double fraction) override;

    // The player operations' scripts (Music), exactly as sent.
    [[nodiscard]] static QString revealScript();
    [[nodiscard]] static QString favoriteScript();
    [[nodiscard]] static QString favoriteCheckScript();

    // Runs the player operations through this runner and workspace instead of the shared ones; both
    // must outlive the coordinator.
    void usePlayerServices(AppleEventRunner &runner, PlayerWorkspace &workspace);

    // The published player is Music.
    [[nodiscard]] bool isAppleMusic() const override;
    // Music: reveals the current track in it and brings it to the front; any other player is
    // activated through the workspace. Nothing without a player; failures are ignored.
    void openCurrent() override;
    // Music: marks the current track as a favourite (failures ignored) and answers true; any other
    // player: nothing, false.
    bool favoriteCurrent() override;
    // Music: whether the current track is a favourite ("true", "yes" or "1", in any case); a failed
    // script and any other player answer false.
    QCoro::Task<bool> isCurrentFavorited() override;
    // Starts the option's player and gets it playing, showing its bundle identifier in
    // launchingPlayer until the launcher returns. Nothing while a launch is under way or for an
    // option that is neither player.
    void launch(const MusicPlayerOption &option) override;
    // No Linux desktop keeps a list of which programs may drive which players: nothing to open.
    void openAutomationSettings() override;

Q_SIGNALS:
    void activeSourceIDChanged();

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
    [[nodiscard]] AppleEventRunner &runner() const;
    [[nodiscard]] PlayerWorkspace &workspace() const;
    void activate(const QString &bundleID);
    void setLaunchingPlayer(const std::optional<QString> &bundleID);
    static QCoro::Task<> runLaunch(QPointer<NowPlayingCoordinator> self, PlayerKind kind, Clock &clock,
                                   AppleEventRunner &runner, PlayerWorkspace &workspace);
    static QCoro::Task<> runIgnoringResult(AppleEventRunner &runner, QString script, bool reuse);

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
    AppleEventRunner *m_runner = nullptr;    // none: the shared runner
    PlayerWorkspace *m_workspace = nullptr; // none: the desktop's workspace
    // Shared with the selections in flight, which may outlive the coordinator.
    std::shared_ptr<SerialQueue> m_selections = std::make_shared<SerialQueue>();
    // Moves on at every stop(); a selection that sees it move has been overtaken.
    quint64 m_runGeneration = 0;
};

} // namespace tavrenhold
