#pragma once

#include "NowPlayingModels.h"

#include <QObject>

namespace tavrenhold {

// What the Music pane reads of the now-playing service: the published state, told on every change,
// and the three controls the pane drives. NowPlayingCoordinator implements it.
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

Q_SIGNALS:
    void stateChanged();
};

} // namespace tavrenhold
