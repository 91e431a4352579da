#include "SystemNowPlayingSource.h"

#include "AdapterProcess.h"
#include "AdapterStream.h"
#include "AppNameCache.h"
#include "platform/InstallLayout.h"

#include <QTimer>

#include <cmath>

// Every co_await below awaits a named local: g++ 12 can destroy temporaries of a co_await expression
// twice.

namespace tavrenhold {

namespace {

// Kept out of the coroutine: g++ 12 cannot take a string literal's array into a coroutine frame.
QString selfTestCommand() { return QStringLiteral("test"); }

bool sameKey(const std::optional<QString> &a, const std::optional<QString> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || sameText(*a, *b);
}

} // namespace

const QStringList SystemNowPlayingSource::trackPullArguments{QStringLiteral("get"), QStringLiteral("--no-artwork"),
                                                             QStringLiteral("--allow-missing-title")};
const QStringList SystemNowPlayingSource::artworkPullArguments{QStringLiteral("get"),
                                                               QStringLiteral("--allow-missing-title")};

SystemNowPlayingSource::SystemNowPlayingSource(QObject *parent)
    : NowPlayingSource(parent)
    , m_clock(&Clock::system())
    , m_names(&AppNameCache::shared())
{
}

SystemNowPlayingSource::SystemNowPlayingSource(Clock &clock, const QString &bundle, AppNameCache *names,
                                               QObject *parent)
    : NowPlayingSource(parent)
    , m_clock(&clock)
    , m_bundle(bundle)
    , m_names(names ? names : &AppNameCache::shared())
{
}

SystemNowPlayingSource::~SystemNowPlayingSource()
{
    m_artworkTask.cancel();
    m_commandRefresh.cancel();
    cancelHold();
    dropStream();
    finishEvents();
}

QString SystemNowPlayingSource::bundle() const
{
    if (m_bundle)
        return *m_bundle;
    const auto layout = platform::InstallLayout::current();
    return layout.prefix().isEmpty() ? QString() : layout.libexecDir();
}

// contract

QCoro::Task<bool> SystemNowPlayingSource::probe()
{
    QPointer<SystemNowPlayingSource> self(this);
    if (m_disabled) {
        if (!m_disabledAt || m_clock->now() - *m_disabledAt < reenableAfter)
            co_return false;
        m_disabled = false;
        m_helperFailures = 0;
        m_disabledAt.reset();
    }
    const auto found = AdapterLocation::discover(bundle());
    if (!found || !found->testClient)
        co_return false;
    m_location = *found;
    const QStringList selfTest{*found->testClient, selfTestCommand()};
    auto run = AdapterProcess::run(*found, selfTest, selfTestTimeout);
    const auto out = co_await run;
    if (!self)
        co_return false;
    co_return out.status == 0;
}

QCoro::Task<> SystemNowPlayingSource::start()
{
    if (m_running)
        co_return;
    if (!m_location)
        m_location = AdapterLocation::discover(bundle());
    if (!m_location)
        co_return;
    m_running = true;
    m_helperFailures = 0;
    m_sawPayload = false;
    ++m_run;
    AdapterStream::reapOrphans(*m_location);
    startHelper();
}

QCoro::Task<> SystemNowPlayingSource::stop()
{
    m_running = false;
    m_sawPayload = false;
    ++m_run;
    dropStream();
    m_artworkTask.cancel();
    m_artworkTrackID.reset();
    cancelHold();
    m_commandRefresh.cancel();
    m_songKey.reset();
    finishEvents();
    m_current = NowPlayingState::idle();
    co_return;
}

QCoro::Task<> SystemNowPlayingSource::setCadence(NowPlayingCadence) { co_return; }

QCoro::Task<std::shared_ptr<NowPlayingStateStream>> SystemNowPlayingSource::events()
{
    finishEvents();
    m_continuation = NowPlayingStateStream::make(nowPlayingStreamDepth);
    m_continuation->yield(m_current);
    // Through a local copy: QCoro's co_return moves from any lvalue it is given, members included.
    auto stream = m_continuation;
    co_return stream;
}

QCoro::Task<NowPlayingState> SystemNowPlayingSource::snapshot()
{
    NowPlayingState state = m_current;
    co_return state;
}

QCoro::Task<> SystemNowPlayingSource::send(TransportCommand command)
{
    if (!m_location)
        co_return;
    // A seek to a time that is not finite (or beyond a 64-bit count of microseconds) is not sent.
    const auto arguments = AdapterProcess::commandArguments(command);
    if (!arguments)
        co_return;
    AdapterProcess::detached(*m_location, *arguments);
    if (command.kind == TransportCommand::Kind::next || command.kind == TransportCommand::Kind::previous)
        scheduleTrackRefresh();
}

// adapter process supervision

void SystemNowPlayingSource::startHelper()
{
    if (!m_running || !m_location)
        return;
    m_sawPayload = false;
    QPointer<SystemNowPlayingSource> self(this);
    auto *stream = new AdapterStream(*m_clock, this);
    const bool started = stream->start(
        *m_location,
        [self](const AdapterPayload &payload) {
            if (self)
                self->intake(payload, true);
        },
        [self, stream] {
            if (self)
                self->helperDied(stream);
        });
    if (started) {
        m_stream = stream;
        m_streamStartedAt = m_clock->now();
        return;
    }
    stream->deleteLater();
    QTimer::singleShot(0, this, [this] { helperDied(nullptr); });
}

QCoro::Task<> SystemNowPlayingSource::helperDied(AdapterStream *which)
{
    // Only the stream in hand can die; nullptr stands for one that could not be launched.
    if (!m_running || which != m_stream)
        co_return;
    QPointer<SystemNowPlayingSource> self(this);
    // Only a stream that reported something and then ran for a while breaks the row of failures: one
    // that prints a line and exits at once would otherwise be restarted for ever.
    const bool ranLongEnough = which && m_streamStartedAt && m_clock->now() - *m_streamStartedAt >= shortRun;
    if (ranLongEnough && m_sawPayload)
        m_helperFailures = 0;
    dropStream();
    ++m_helperFailures;
    if (m_helperFailures >= failuresBeforeDisabling) {
        disable();
        co_return;
    }
    const quint64 run = m_run;
    auto sleep = m_clock->sleepFor(Millis(1000 * m_helperFailures));
    co_await sleep;
    // A stop (and perhaps a new start) meanwhile owns the adapter now.
    if (!self || !m_running || run != m_run || m_stream)
        co_return;
    if (m_location)
        AdapterStream::reapOrphans(*m_location);
    startHelper();
}

void SystemNowPlayingSource::disable()
{
    m_disabled = true;
    m_disabledAt = m_clock->now();
    m_running = false;
    m_sawPayload = false;
    ++m_run;
    m_current = NowPlayingState::idle();
    m_songKey.reset();
    m_commandRefresh.cancel();
    // The held state and the artwork pull belong to the run that ended; a later start must pull the
    // artwork of the same track again.
    cancelHold();
    m_artworkTask.cancel();
    m_artworkTrackID.reset();
    // No idle state first: the stream just ends, and its reader chooses a source again.
    finishEvents();
}

void SystemNowPlayingSource::dropStream()
{
    if (AdapterStream *stream = std::exchange(m_stream, nullptr)) {
        stream->stop();
        // It may be calling us right now.
        stream->deleteLater();
    }
}

void SystemNowPlayingSource::finishEvents()
{
    if (auto stream = std::exchange(m_continuation, nullptr))
        stream->finish();
}

// payload intake

QString SystemNowPlayingSource::playerBundle(const AdapterPayload &payload)
{
    if (payload.parentApplicationBundleIdentifier)
        return *payload.parentApplicationBundleIdentifier;
    if (payload.bundleIdentifier)
        return *payload.bundleIdentifier;
    return QString();
}

QString SystemNowPlayingSource::trackID(const AdapterPayload &payload)
{
    const QString duration = payload.duration ? QString::asprintf("%.0f", *payload.duration) : QString();
    return songKey(payload) + separator + duration;
}

QString SystemNowPlayingSource::songKey(const AdapterPayload &payload)
{
    return QStringList{playerBundle(payload), payload.title.value_or(QString()), payload.artist.value_or(QString()),
                       payload.album.value_or(QString())}
        .join(separator);
}

std::optional<QString> SystemNowPlayingSource::songKey(const NowPlayingState &state)
{
    if (!state.track)
        return std::nullopt;
    QStringList fields = state.track->id.split(separator, Qt::KeepEmptyParts);
    fields.removeLast();
    return fields.join(separator);
}

double SystemNowPlayingSource::normalisedTime(std::optional<double> reported)
{
    if (!reported || !(*reported > 0) || !std::isfinite(*reported))
        return 0;
    double v = *reported;
    // Some players report milliseconds or microseconds.
    while (v >= 100000)
        v /= 1000;
    return v;
}

QCoro::Task<> SystemNowPlayingSource::ingest(AdapterPayload payload) { return intake(std::move(payload), false); }

QCoro::Task<> SystemNowPlayingSource::intake(AdapterPayload payload, bool fromStream)
{
    if (!m_running)
        co_return;
    // A payload belongs to the run it arrived in; one still waiting when that run ends is dropped.
    const quint64 run = m_run;
    QPointer<SystemNowPlayingSource> self(this);
    const auto queue = m_intake;
    // However fast the stream reports, at most its newest payload waits: a flood cannot pile up work.
    auto enter = fromStream ? queue->enterReplacing(1) : queue->enter();
    const auto turn = co_await enter;
    if (!turn || !self || !m_running || run != m_run)
        co_return;

    if (payload.isEmpty()) { // nothing plays
        if (m_sawPayload)
            present(NowPlayingState::idle());
        co_return;
    }

    const QString bundle = playerBundle(payload);
    QString displayName;
    if (!bundle.isEmpty()) {
        auto lookup = m_names->name(bundle);
        displayName = co_await lookup;
        if (!self || !m_running || run != m_run)
            co_return;
    }

    QString title;
    if (payload.title && !payload.title->isEmpty())
        title = *payload.title;
    else if (!bundle.isEmpty())
        title = displayName;
    else {
        if (m_sawPayload)
            present(NowPlayingState::idle());
        co_return;
    }

    m_sawPayload = true;

    NowPlayingTrack track;
    track.id = trackID(payload);
    track.title = title;
    track.artist = payload.artist.value_or(QString());
    track.album = payload.album.value_or(QString());
    track.duration = normalisedTime(payload.duration);
    // The picture on screen stays until the new track's own artwork is pulled (or found missing).
    if (m_current.track)
        track.artwork = m_current.track->artwork;

    NowPlayingState state;
    if (payload.playing)
        state.status = *payload.playing ? PlaybackStatus::playing : PlaybackStatus::paused;
    else
        state.status = payload.playbackRate && *payload.playbackRate > 0 ? PlaybackStatus::playing
                                                                         : PlaybackStatus::paused;
    const QDateTime now = m_clock->wallNow();
    state.elapsed = normalisedTime(payload.elapsedTime);
    state.capturedAt = payload.timestamp.value_or(now);

    // A pause or resume of the same track keeps the position the user saw, unless the report is far off.
    if (m_current.track && sameText(m_current.track->id, track.id) && state.status != m_current.status
        && m_current.isLive()) {
        const double shown = m_current.position(now);
        if (std::abs(shown - state.elapsed) <= 2) {
            state.elapsed = shown;
            state.capturedAt = now;
        }
    }

    state.track = std::move(track);
    if (!bundle.isEmpty())
        state.player = PlayerIdentity{bundle, displayName};
    present(state);
}

// hand-over hold

bool SystemNowPlayingSource::isTransientHandover(const NowPlayingState &next) const
{
    if (!m_current.track)
        return false;
    if (!next.track)
        return true;
    if (m_current.status == PlaybackStatus::playing && m_current.player) {
        if (next.player && sameText(next.player->id, m_current.player->id))
            return false;
        return next.status != PlaybackStatus::playing;
    }
    return false;
}

void SystemNowPlayingSource::present(const NowPlayingState &state)
{
    if (isTransientHandover(state)) {
        // The hold ends 1.5 s after the first transient state; later ones only replace what is held.
        m_heldState = state;
        if (!m_holdToken) {
            m_holdToken = CancelToken();
            runHold(this, *m_clock, *m_holdToken);
        }
        return;
    }
    cancelHold();
    emitState(state);
    fetchArtworkIfNeeded();
}

QCoro::Task<> SystemNowPlayingSource::runHold(QPointer<SystemNowPlayingSource> self, Clock &clock,
                                              CancelToken token)
{
    auto sleep = clock.sleepFor(handoverHold, token);
    const bool slept = co_await sleep;
    if (!slept || token.isCancelled() || !self)
        co_return;
    self->releaseHold();
}

void SystemNowPlayingSource::releaseHold()
{
    m_holdToken.reset();
    if (!m_running || !m_heldState)
        return;
    const NowPlayingState held = *std::exchange(m_heldState, std::nullopt);
    emitState(held);
    fetchArtworkIfNeeded();
}

void SystemNowPlayingSource::cancelHold()
{
    if (auto token = std::exchange(m_holdToken, std::nullopt))
        token->cancel();
    m_heldState.reset();
}

void SystemNowPlayingSource::emitState(const NowPlayingState &state)
{
    if (state == m_current)
        return;
    m_current = state;
    m_songKey = songKey(state);
    if (m_continuation)
        m_continuation->yield(state);
}

// track pulls after a skip

bool SystemNowPlayingSource::shouldAdoptPulledTrack(const AdapterPayload &payload,
                                                    const std::optional<QString> &replacing)
{
    if (payload.isEmpty())
        return false;
    if (!payload.title || payload.title->isEmpty())
        return false;
    if (!replacing)
        return true;
    return !sameText(songKey(payload), *replacing);
}

void SystemNowPlayingSource::scheduleTrackRefresh()
{
    const int generation = ++m_commandGeneration;
    runTrackRefresh(this, *m_clock, m_songKey, generation, m_commandRefresh.renew());
}

QCoro::Task<> SystemNowPlayingSource::runTrackRefresh(QPointer<SystemNowPlayingSource> self, Clock &clock,
                                                      std::optional<QString> replacing, int generation,
                                                      CancelToken token)
{
    Millis previous(0);
    for (const Millis entry : trackRefreshSchedule) {
        auto sleep = clock.sleepFor(entry - previous, token);
        const bool slept = co_await sleep;
        previous = entry;
        if (!slept || token.isCancelled() || !self)
            co_return;
        auto pull = self->pullTrack(replacing, generation, token);
        if (co_await pull)
            co_return;
    }
}

QCoro::Task<bool> SystemNowPlayingSource::pullTrack(std::optional<QString> replacing, int generation,
                                                    CancelToken token)
{
    QPointer<SystemNowPlayingSource> self(this);
    if (!m_running || generation != m_commandGeneration || !m_location)
        co_return false;
    if (!sameKey(m_songKey, replacing))
        co_return true; // the stream brought the new song already
    // Still wanted when its turn comes: no stop, no later skip, and the song is still the one skipped.
    AdapterProcess::Wanted wanted = [self, token, generation, replacing] {
        return self && !token.isCancelled() && self->m_running && generation == self->m_commandGeneration
            && sameKey(self->m_songKey, replacing);
    };
    auto run = AdapterProcess::run(*m_location, trackPullArguments, trackPullTimeout,
                                   AdapterProcess::Purpose::trackRefresh, std::move(wanted));
    const auto out = co_await run;
    // A stop or a later skip took over meanwhile.
    if (!self || token.isCancelled() || !m_running || generation != m_commandGeneration)
        co_return false;
    if (out.status == AdapterProcess::skippedStatus)
        co_return !sameKey(m_songKey, replacing);
    if (out.status != 0)
        co_return false;
    const auto payload = AdapterStream::makeDecoder(*m_clock).decodePayload(out.data);
    if (!payload || !shouldAdoptPulledTrack(*payload, replacing))
        co_return false;
    auto intake = ingest(*payload);
    co_await intake;
    if (!self)
        co_return false;
    // A state the hand-over hold keeps back has not changed the song yet.
    co_return !sameKey(m_songKey, replacing);
}

// artwork pulls

void SystemNowPlayingSource::fetchArtworkIfNeeded()
{
    if (!m_location || !m_current.track)
        return;
    const NowPlayingTrack &track = *m_current.track;
    if (track.artwork && sameText(track.artwork->id, track.id))
        return; // the track has its own picture
    if (m_artworkTrackID && sameText(*m_artworkTrackID, track.id))
        return; // pulled once for this track already
    m_artworkTrackID = track.id;
    runArtworkPulls(this, *m_clock, *m_location, track.id, songKey(m_current), track.artwork,
                    m_artworkTask.renew());
}

QCoro::Task<> SystemNowPlayingSource::runArtworkPulls(QPointer<SystemNowPlayingSource> self, Clock &clock,
                                                      AdapterLocation location, QString trackID,
                                                      std::optional<QString> song,
                                                      std::optional<NotchImage> carried, CancelToken token)
{
    const AdapterDecoder decoder = AdapterStream::makeDecoder(clock);
    std::optional<QByteArray> attached; // the bytes this task attached last
    Millis previous(0);
    for (const Millis entry : artworkSchedule) {
        if (entry > previous) {
            auto sleep = clock.sleepFor(entry - previous, token);
            const bool slept = co_await sleep;
            if (!slept)
                co_return;
        }
        previous = entry;
        if (token.isCancelled() || !self)
            co_return;
        // Pulled only while the track is still the one on screen when the run's turn comes.
        AdapterProcess::Wanted wanted = [self, token, trackID] {
            return self && !token.isCancelled() && self->m_current.track
                && sameText(self->m_current.track->id, trackID);
        };
        auto run = AdapterProcess::run(location, artworkPullArguments, artworkPullTimeout,
                                       AdapterProcess::Purpose::artwork, std::move(wanted));
        const auto out = co_await run;
        if (token.isCancelled() || !self)
            co_return;
        if (out.status != 0)
            continue;
        const auto payload = decoder.decodePayload(out.data);
        if (!payload || !sameKey(songKey(*payload), song))
            continue;
        const auto &data = payload->artworkData;
        if (!data || data->isEmpty()) {
            // The system has no picture for this track: drop the one carried over from the last.
            if (!attached)
                self->attachArtwork(std::nullopt, trackID);
            continue;
        }
        // The system may still report the previous track's picture for a moment.
        if (carried && !sameText(carried->id, trackID) && carried->bytes == *data)
            continue;
        if (attached == *data)
            continue;
        self->attachArtwork(*data, trackID);
        attached = *data;
    }
}

void SystemNowPlayingSource::attachArtwork(const std::optional<QByteArray> &data, const QString &trackID)
{
    if (!m_current.track || !sameText(m_current.track->id, trackID))
        return; // the track changed meanwhile
    const auto image = NotchImage::make(trackID, data);
    const auto &existing = m_current.track->artwork;
    if (!image && !existing)
        return;
    if (image && existing && sameText(image->id, existing->id) && image->bytes == existing->bytes)
        return;
    NowPlayingState next = m_current;
    next.track->artwork = image;
    emitState(next);
}

} // namespace tavrenhold
