#include "MusicPane.h"

#include <algorithm>
#include <cmath>

namespace tavrenhold {

MusicPane::MusicPane(NowPlayingPublisher *coordinator, Clock &clock, QObject *parent)
    : NotchPane(parent), m_coordinator(coordinator), m_clock(clock)
{
    if (m_coordinator)
        m_coordinator->setParent(this);
}

IdleSignal MusicPane::idle() const
{
    if (!m_coordinator || !m_coordinator->state().isLive())
        return IdleSignal::inactive;
    IdleSignal signal;
    signal.isLive = true;
    signal.priority = 100;
    signal.identity = IdleArtwork{m_artwork};
    signal.rotating = IdleWaveform{m_levels};
    signal.progress = m_fraction;
    return signal;
}

QUrl MusicPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Music/qml/MusicPaneContent.qml")); }

void MusicPane::activate()
{
    m_active = true;
    if (m_coordinator)
        m_coordinator->setCadence(NowPlayingCadence::foreground);
    applyState();
}

void MusicPane::deactivate()
{
    m_active = false;
    setCadenceForHidden();
}

void MusicPane::startServices()
{
    if (!m_coordinator)
        return;
    m_coordinator->start();
    if (!m_observing) {
        m_observing = true;
        connect(m_coordinator, &NowPlayingPublisher::stateChanged, this, &MusicPane::applyState);
    }
    applyState();
}

void MusicPane::stopServices()
{
    if (m_coordinator)
        m_coordinator->stop();
}

void MusicPane::setCadenceForHidden()
{
    if (!m_coordinator)
        return;
    m_coordinator->setCadence(m_coordinator->state().isLive() ? NowPlayingCadence::background
                                                              : NowPlayingCadence::suspended);
}

void MusicPane::applyState()
{
    if (!m_coordinator)
        return;
    const NowPlayingState state = m_coordinator->state();
    if (!state.track) {
        m_fraction = 0;
        m_elapsed = 0;
        m_levels = flatLevels();
        m_artwork.reset();
        noteIdle();
        return;
    }
    const double position = state.position(m_clock.wallNow());
    const double duration = state.track->duration;
    double fraction = 0;
    if (duration > 0) {
        const double q = position / duration;
        fraction = q > 0 ? std::min(q, 1.0) : 0; // NaN gives 0 too
    }
    m_fraction = fraction;
    m_elapsed = std::floor(position);
    // Until the level meter comes, the bars stay still.
    m_levels = flatLevels();
    // Only artwork that the source carries in the track; nothing is downloaded yet.
    m_artwork = state.track->artwork;
    if (!m_active)
        setCadenceForHidden();
    noteIdle();
}

void MusicPane::noteIdle()
{
    IdleSignal now = idle();
    if (now == m_lastIdle)
        return;
    m_lastIdle = std::move(now);
    Q_EMIT idleChanged();
}

} // namespace tavrenhold
