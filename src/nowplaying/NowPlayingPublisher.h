#pragma once

#include "MusicPlayerOption.h"
#include "NowPlayingModels.h"

#include <QCoroTask>
#include <QList>
#include <QObject>

#include <optional>

namespace tavrenhold {

// What the Music pane reads of the now-playing service: the published state, told on every change,
// the controls the pane drives and the player operations its view offers. NowPlayingCoordinator
// implements it; the player operations do nothing here for a service without players.
class NowPlayingPublisher : public QObject {
    Q_OBJECT
    Q_PROPERTY(tavrenhold::NowPlayingState state READ state NOTIFY stateChanged)
public:
    using QObject::QObject;
    ~NowPlayingPublisher() override = default;

    // The published state; idle while nothing is known.
    [[nodiscard]] virtual NowPlayingState state() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    // How eagerly the active source should refresh.
    virtual void setCadence(NowPlayingCadence cadence) = 0;

    // Transport towards the active player; a seek to a fraction of the current track's duration.
    virtual void send(TransportCommand) {}
    virtual void seek(double /*fraction*/) {}

    // Players that can be started from the pane, and the bundle identifier of one being started.
    [[nodiscard]] virtual const QList<MusicPlayerOption> &installedPlayers() const;
    [[nodiscard]] virtual std::optional<QString> launchingPlayer() const { return std::nullopt; }
    // The published player is Music, which can favourite tracks.
    [[nodiscard]] virtual bool isAppleMusic() const { return false; }
    virtual void openCurrent() {}
    virtual bool favoriteCurrent() { return false; }
    virtual QCoro::Task<bool> isCurrentFavorited();
    virtual void launch(const MusicPlayerOption &) {}
    virtual void openAutomationSettings() {}

Q_SIGNALS:
    void stateChanged();
    void installedPlayersChanged();
    void launchingPlayerChanged();
};

} // namespace tavrenhold
