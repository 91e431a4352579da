#include "MusicPane.h"

#include "AirPlayDiscovery.h"

#include "platform/AudioSystem.h"
#include "platform/SystemAppearance.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tavrenhold {

namespace {

// Shown fractions come from here: a quotient that is not above 0 (NaN included) is 0.
double clampedFraction(double f)
{
    if (!(f > 0))
        return 0;
    return std::min(f, 1.0);
}

} // namespace

MusicPane::MusicPane(NowPlayingPublisher *coordinator, Clock &clock, platform::SystemAppearance *appearance,
                     platform::AudioSystem *audio, QObject *parent)
    : NotchPane(parent), m_coordinator(coordinator), m_clock(clock), m_appearance(appearance),
      m_accent(new AccentRefresher(this))
{
    if (m_coordinator)
        m_coordinator->setParent(this);
    if (!audio) {
        m_ownedAudio = platform::AudioSystem::makeNeutral();
        audio = m_ownedAudio.get();
    }
    m_audio = audio;
}

AirPlayDiscovery &MusicPane::airPlay()
{
    if (!m_airPlay) {
        m_ownedAirPlay = AirPlayDiscovery::makeAvahi(m_audio);
        m_airPlay = m_ownedAirPlay.get();
    }
    return *m_airPlay;
}

void MusicPane::setPopoverRect(const QRectF &rect)
{
    const QRectF shown = rect.isEmpty() ? QRectF() : rect;
    if (shown == m_popoverRect)
        return;
    m_popoverRect = shown;
    Q_EMIT popoverRectChanged();
}

MusicPane::~MusicPane()
{
    m_ticker.cancel();
    if (m_artReply)
        m_artReply->abort();
}

NowPlayingState MusicPane::state() const
{
    return m_coordinator ? m_coordinator->state() : NowPlayingState::idle();
}

bool MusicPane::reduceMotion() const
{
    return (m_appearance ? *m_appearance : platform::SystemAppearance::shared()).reduceMotion();
}

IdleSignal MusicPane::idle() const
{
    if (!state().isLive())
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

QList<qreal> MusicPane::levelValues() const { return QList<qreal>(m_levels.begin(), m_levels.end()); }

void MusicPane::activate()
{
    if (!m_active) {
        m_active = true;
        Q_EMIT activeChanged();
    }
    if (m_coordinator)
        m_coordinator->setCadence(NowPlayingCadence::foreground);
    applyState();
    syncTicker();
}

void MusicPane::deactivate()
{
    if (m_active) {
        m_active = false;
        Q_EMIT activeChanged();
    }
    setCadenceForHidden();
    syncTicker();
}

void MusicPane::startServices()
{
    m_audio->start();
    if (!m_coordinator)
        return;
    m_coordinator->start();
    observeState();
    applyState();
    syncTicker();
}

void MusicPane::stopServices()
{
    m_stopped = true;
    m_ticker.cancel();
    m_tickerInterval.reset();
    cancelDownload();
    m_accent->clear();
    if (m_coordinator)
        m_coordinator->stop();
}

void MusicPane::observeState()
{
    if (m_observing || !m_coordinator)
        return;
    m_observing = true;
    // Every change is taken on a later turn of the event loop, and a burst of changes once.
    connect(m_coordinator, &NowPlayingPublisher::stateChanged, this, [this] {
        if (std::exchange(m_applyQueued, true))
            return;
        QMetaObject::invokeMethod(this, &MusicPane::stateArrived, Qt::QueuedConnection);
    });
}

void MusicPane::stateArrived()
{
    m_applyQueued = false;
    applyState();
    syncTicker();
}

void MusicPane::setCadenceForHidden()
{
    if (!m_coordinator)
        return;
    m_coordinator->setCadence(state().isLive() ? NowPlayingCadence::background : NowPlayingCadence::suspended);
}

void MusicPane::applyState()
{
    const NowPlayingState now = state();
    const std::optional<QString> trackID = now.track ? std::optional(now.track->id) : std::nullopt;
    const bool trackChanged = trackID != m_shownTrackID;
    const bool playerChanged = !trackChanged && now.player != m_shownPlayer;
    m_shownTrackID = trackID;
    m_shownPlayer = now.player;
    if (trackChanged || playerChanged) {
        m_seekPin.reset();
        disableAnimationsForThisTurn();
    } else if (m_seekPin && m_clock.wallNow() >= m_seekPin->expires) {
        m_seekPin.reset();
    }
    update();
}

void MusicPane::disableAnimationsForThisTurn()
{
    if (std::exchange(m_animationsDisabled, true))
        return;
    Q_EMIT animationsDisabledChanged();
    QTimer::singleShot(0, this, [this] {
        m_animationsDisabled = false;
        Q_EMIT animationsDisabledChanged();
    });
}

void MusicPane::update()
{
    const NowPlayingState now = state();
    if (!now.track) {
        m_seekPin.reset();
        setFraction(0);
        setElapsed(0);
        setLevels(flatLevels());
        // The track has gone: its picture must not arrive after it.
        cancelDownload();
        setArtwork(std::nullopt);
        m_artTrackID.reset();
        noteIdle();
        return;
    }
    const Display display = displayPosition(*now.track, now);
    setElapsed(std::floor(display.position));
    setFraction(display.fraction);
    if (now.status != PlaybackStatus::playing)
        setLevels(flatLevels());
    if (!m_active)
        setCadenceForHidden();
    fetchArtworkIfNeeded();
    noteIdle();
}

MusicPane::Display MusicPane::displayPosition(const NowPlayingTrack &track, const NowPlayingState &state)
{
    const QDateTime now = m_clock.wallNow();
    double p = state.position(now);
    if (!std::isfinite(p))
        p = 0;
    const double d = track.duration;
    const double f = d > 0 ? clampedFraction(p / d) : 0;
    if (m_seekPin) {
        if (now < m_seekPin->expires && std::abs(f - m_seekPin->fraction) > seekCatchUp)
            return {m_seekPin->fraction * std::max(d, 0.0), m_seekPin->fraction};
        m_seekPin.reset();
    }
    return {p, f};
}

std::optional<Millis> MusicPane::tickInterval() const
{
    if (m_stopped || state().status != PlaybackStatus::playing || reduceMotion())
        return std::nullopt;
    return m_active ? activeInterval : inactiveInterval;
}

void MusicPane::syncTicker()
{
    const std::optional<Millis> interval = tickInterval();
    if (!interval) {
        m_ticker.cancel();
        m_tickerInterval.reset();
        const NowPlayingState now = state();
        setLevels(now.status == PlaybackStatus::playing && reduceMotion() ? stillLevels() : flatLevels());
        noteIdle();
        return;
    }
    if (m_tickerInterval && std::chrono::abs(*m_tickerInterval - *interval) < Millis(1))
        return;
    m_tickerInterval = interval;
    runTicker(QPointer(this), m_clock, *interval, m_ticker.renew());
}

QCoro::Task<> MusicPane::runTicker(QPointer<MusicPane> self, Clock &clock, Millis interval, CancelToken token)
{
    for (;;) {
        const bool slept = co_await clock.sleepFor(interval, token);
        if (!slept || token.isCancelled() || !self)
            co_return;
        self->tick();
    }
}

void MusicPane::tick()
{
    const NowPlayingState now = state();
    if (!now.track || now.status != PlaybackStatus::playing) {
        syncTicker();
        return;
    }
    const Display display = displayPosition(*now.track, now);
    setLevels(Waveform::next(m_levels, display.position));
    setElapsed(std::floor(display.position));
    if (now.track->duration > 0 && std::abs(display.fraction - m_fraction) > fractionStep)
        setFraction(display.fraction);
    noteIdle();
}

void MusicPane::seek(double fraction)
{
    if (!std::isfinite(fraction))
        return;
    const double clamped = fraction > 0 ? std::min(fraction, 1.0) : 0;
    m_seekPin = SeekPin{clamped, m_clock.wallNow().addMSecs(seekHold.count())};
    setFraction(clamped);
    const NowPlayingState now = state();
    if (now.track && now.track->duration > 0)
        setElapsed(std::floor(clamped * now.track->duration));
    noteIdle();
    if (m_coordinator)
        m_coordinator->seek(clamped);
}

void MusicPane::fetchArtworkIfNeeded()
{
    const NowPlayingState now = state();
    if (!now.track)
        return;
    const NowPlayingTrack &track = *now.track;
    if (track.artwork) {
        cancelDownload();
        m_artTrackID = track.id;
        if (m_artwork != track.artwork)
            setArtwork(track.artwork);
        return;
    }
    const bool showsThisTrack = m_artwork && m_artwork->id == track.id;
    if (!showsThisTrack && now.player != m_artworkPlayer)
        setArtwork(std::nullopt);
    if (!track.artworkURL || m_artTrackID == track.id)
        return;
    m_artTrackID = track.id;
    startDownload(*track.artworkURL, track.id);
}

void MusicPane::cancelDownload()
{
    if (QNetworkReply *reply = m_artReply) {
        m_artReply = nullptr;
        reply->abort();
    }
}

void MusicPane::startDownload(const QUrl &url, const QString &trackID)
{
    cancelDownload();
    // Only the web: the network access manager would read local files and inline data too.
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return;
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(artworkTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    ++m_downloads;
    m_artReply = reply;
    // A body that grows past the cap ends the download with no effect.
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64 total) {
        if (received > artworkSizeCap || total > artworkSizeCap)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, trackID] {
        reply->deleteLater();
        ++m_downloadsEnded;
        const bool current = m_artReply == reply;
        if (current)
            m_artReply = nullptr;
        if (!current || reply->error() != QNetworkReply::NoError)
            return;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid() || status.toInt() != 200)
            return;
        const QByteArray body = reply->readAll();
        if (body.isEmpty() || body.size() > artworkSizeCap)
            return;
        // Only while the track it was fetched for is still the one playing.
        const NowPlayingState now = state();
        if (!now.track || now.track->id != trackID)
            return;
        setArtwork(NotchImage{trackID, body});
        noteIdle();
    });
}

void MusicPane::setArtwork(const std::optional<NotchImage> &image)
{
    m_artworkPlayer = image ? state().player : std::nullopt;
    if (image != m_artwork) {
        disableAnimationsForThisTurn();
        m_artwork = image;
        Q_EMIT artworkChanged();
    }
    m_accent->refresh(image);
}

void MusicPane::setLevels(const std::vector<float> &levels)
{
    if (levels == m_levels)
        return;
    m_levels = levels;
    Q_EMIT levelsChanged();
}

void MusicPane::setFraction(double fraction)
{
    if (fraction == m_fraction)
        return;
    m_fraction = fraction;
    Q_EMIT fractionChanged();
}

void MusicPane::setElapsed(double elapsed)
{
    if (!std::isfinite(elapsed))
        elapsed = 0;
    if (elapsed == m_elapsed)
        return;
    m_elapsed = elapsed;
    Q_EMIT elapsedChanged();
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
