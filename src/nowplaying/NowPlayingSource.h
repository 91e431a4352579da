#pragma once

#include "BoundedStream.h"
#include "NowPlayingModels.h"

#include <QCoroTask>
#include <QObject>

#include <memory>

namespace tavrenhold {

// The stream of states a source hands out: it keeps the newest 4 undelivered states.
using NowPlayingStateStream = BoundedStream<NowPlayingState>;
inline constexpr qsizetype nowPlayingStreamDepth = 4;

// The contract every now-playing source implements. Sources live on the main thread; their
// operations are coroutines, so one operation runs at a time and others may run only while it awaits.
class NowPlayingSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~NowPlayingSource() override = default;

    // A short constant name: "system" or "applescript".
    [[nodiscard]] virtual QString sourceID() const = 0;
    // Whether the source can work now.
    virtual QCoro::Task<bool> probe() = 0;
    // Begins producing states.
    virtual QCoro::Task<> start() = 0;
    // Stops producing states and ends the stream events() handed out.
    virtual QCoro::Task<> stop() = 0;
    virtual QCoro::Task<> setCadence(NowPlayingCadence cadence) = 0;
    // Ends any stream handed out before, makes a new one (newest 4 kept), puts the current state
    // into it at once and returns it.
    virtual QCoro::Task<std::shared_ptr<NowPlayingStateStream>> events() = 0;
    // The source's current state.
    virtual QCoro::Task<NowPlayingState> snapshot() = 0;
    // Carries out a transport command.
    virtual QCoro::Task<> send(TransportCommand command) = 0;
};

} // namespace tavrenhold
