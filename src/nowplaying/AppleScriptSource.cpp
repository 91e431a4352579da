#include "AppleScriptSource.h"

#include "AppleEventRunner.h"
#include "PlayerCatalog.h"

#include <algorithm>
#include <cmath>

// Every co_await below awaits a named local: g++ 12 can destroy temporaries of a co_await expression
// twice. Texts used inside coroutines come from the helpers below: g++ 12 cannot take a string
// literal's array into a coroutine frame.

namespace tavrenhold {

namespace {

bool isPlayingWord(QStringView word) { return word == u"playing"; }
bool isPausedWord(QStringView word) { return word == u"paused"; }

// The position field of a position answer: a plain decimal number, finite and not negative.
std::optional<double> readPosition(const QString &field)
{
    if (field.isEmpty() || field != field.trimmed())
        return std::nullopt;
    bool ok = false;
    const double value = field.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

// The artwork script's answer as an address, when it parses and its scheme (as written) begins with
// "http".
std::optional<QUrl> artworkAddress(const QString &answer)
{
    const qsizetype colon = answer.indexOf(QLatin1Char(':'));
    if (colon <= 0 || !answer.left(colon).startsWith(QLatin1String("http")))
        return std::nullopt;
    const QUrl url(answer, QUrl::StrictMode);
    // The text before the colon must be the address's scheme: "httpx/:y" is a relative path.
    if (!url.isValid() || url.scheme().compare(answer.left(colon), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return url;
}

double secondsBetween(const QDateTime &from, const QDateTime &to) { return double(from.msecsTo(to)) / 1000.0; }

} // namespace

AppleScriptSource::AppleScriptSource(QObject *parent)
    : AppleScriptSource(Clock::system(), AppleEventRunner::shared(), PlayerWorkspace::shared(),
                        PlayerNotificationCenter::shared(), parent)
{
}

AppleScriptSource::AppleScriptSource(Clock &clock, AppleEventRunner &runner, PlayerWorkspace &workspace,
                                     PlayerNotificationCenter &center, QObject *parent)
    : NowPlayingSource(parent), m_clock(clock), m_runner(runner), m_workspace(workspace), m_center(center)
{
}

AppleScriptSource::~AppleScriptSource()
{
    m_bridge.reset();
    endPlayerEvents();
    if (auto poll = std::exchange(m_pollTask, std::nullopt))
        poll->cancel();
    finishEvents();
}

// contract

QCoro::Task<bool> AppleScriptSource::probe()
{
    const bool installed = !PlayerCatalog::installed(m_workspace).isEmpty();
    co_return installed;
}

QCoro::Task<> AppleScriptSource::start()
{
    if (m_running)
        co_return;
    m_running = true;

    auto stream = EventStream::make(eventBufferDepth);
    m_eventContinuation = stream;
    const std::weak_ptr<EventStream> events = stream;
    m_bridge = std::make_unique<PlayerBroadcastBridge>(
        [events](const PlayerBroadcast &broadcast) {
            if (const auto s = events.lock())
                s->yield(PlayerEvent::fromBroadcast(broadcast));
        },
        [events] {
            if (const auto s = events.lock())
                s->yield(PlayerEvent::lifecycle());
        },
        m_center);
    m_bridge->subscribe();

    const CancelToken token;
    m_eventTask = token;
    runEvents(this, stream, token);

    auto all = refreshAll();
    co_await all;
}

QCoro::Task<> AppleScriptSource::stop()
{
    m_running = false;
    if (m_bridge) {
        m_bridge->unsubscribe();
        m_bridge.reset();
    }
    endPlayerEvents();
    if (auto poll = std::exchange(m_pollTask, std::nullopt))
        poll->cancel();
    finishEvents();
    // Nothing is published: the stream that would carry it has just ended.
    m_snapshots.clear();
    m_current = NowPlayingState::idle();
    co_return;
}

QCoro::Task<> AppleScriptSource::setCadence(NowPlayingCadence cadence)
{
    if (cadence == m_cadence)
        co_return;
    m_cadence = cadence;
    reschedulePoll();
    if (cadence == NowPlayingCadence::foreground) {
        auto all = refreshAll();
        co_await all;
    }
}

QCoro::Task<std::shared_ptr<NowPlayingStateStream>> AppleScriptSource::events()
{
    finishEvents();
    m_continuation = NowPlayingStateStream::make(nowPlayingStreamDepth);
    m_continuation->yield(m_current);
    // Through a local copy: QCoro's co_return moves from any lvalue it is given, members included.
    auto stream = m_continuation;
    co_return stream;
}

QCoro::Task<NowPlayingState> AppleScriptSource::snapshot()
{
    NowPlayingState state = m_current;
    co_return state;
}

QCoro::Task<> AppleScriptSource::send(TransportCommand command)
{
    QPointer<AppleScriptSource> self(this);
    const auto target = commandTarget();
    if (!target)
        co_return;
    // A position that is not a number cannot be written into a script.
    if (command.kind == TransportCommand::Kind::seek && !std::isfinite(command.seconds))
        co_return;
    const QString script = PlayerScripts::wrap(PlayerScripts::commandBody(command), *target);
    // Every seek has its own text: keeping those would grow the runner's store without end.
    const bool reuse = command.kind != TransportCommand::Kind::seek;
    auto run = m_runner.runVoid(script, reuse);
    const auto outcome = co_await run;
    if (!self)
        co_return;
    if (outcome.ok())
        m_deniedPlayers.erase(*target);
    else if (outcome.error().kind == AppleEventFailure::Kind::denied)
        m_deniedPlayers.insert(*target);

    auto settle = m_clock.sleepFor(commandSettleDelay);
    co_await settle;
    // A source stopped meanwhile keeps no reading.
    if (!self || !m_running)
        co_return;
    auto reread = refresh(*target);
    co_await reread;
}

// readings

std::optional<PlayerKind> AppleScriptSource::commandTarget() const
{
    if (m_current.player) {
        if (const auto kind = PlayerCatalog::kind(m_current.player->id); kind && runs(*kind))
            return kind;
    }
    for (const PlayerKind kind : allPlayerKinds) {
        if (runs(kind))
            return kind;
    }
    return std::nullopt;
}

bool AppleScriptSource::runs(PlayerKind kind) const { return m_workspace.isRunning(bundleIdentifier(kind)); }

QCoro::Task<> AppleScriptSource::refreshAll()
{
    if (!m_running)
        co_return;
    QPointer<AppleScriptSource> self(this);
    for (const PlayerKind kind : allPlayerKinds) {
        auto one = refresh(kind);
        co_await one;
        if (!self)
            co_return;
    }
    publish();
    auto artwork = fetchArtworkURLIfNeeded();
    co_await artwork;
}

QCoro::Task<> AppleScriptSource::refresh(PlayerKind kind)
{
    QPointer<AppleScriptSource> self(this);
    if (!runs(kind)) {
        if (m_snapshots.erase(kind) > 0)
            publish();
        co_return;
    }
    const QDateTime started = m_clock.wallNow();
    const quint64 replacements = m_replacements[kind];
    auto run = m_runner.runText(PlayerScripts::stateScript(kind), true);
    const auto answer = co_await run;
    if (!self)
        co_return;

    if (answer.ok())
        m_deniedPlayers.erase(kind);
    else if (answer.error().kind == AppleEventFailure::Kind::denied)
        m_deniedPlayers.insert(kind);

    // A notification (or another reading) replaced the reading while the script ran: it is newer.
    const auto stored = m_snapshots.find(kind);
    const QDateTime seen = stored != m_snapshots.end() ? stored->second.updatedAt : NowPlayingState::distantPast();
    if (seen > started || m_replacements[kind] != replacements)
        co_return;

    if (answer.ok()) {
        std::optional<PlayerSnapshot> previous;
        if (stored != m_snapshots.end())
            previous = stored->second;
        store(PlayerScripts::parse(answer.value(), kind, previous, m_clock), true);
    } else if (answer.error().kind == AppleEventFailure::Kind::noTrack) {
        store(PlayerSnapshot::fresh(kind), false);
    }
    // Also after a failure, so that a change in the denied players shows.
    publish();
}

QCoro::Task<> AppleScriptSource::reconcile(std::optional<PlayerKind> kind)
{
    if (!m_running)
        co_return;
    QPointer<AppleScriptSource> self(this);
    if (!kind) {
        if (!m_current.player)
            co_return;
        kind = PlayerCatalog::kind(m_current.player->id);
        if (!kind)
            co_return;
    }
    const PlayerKind player = *kind;
    const auto stored = m_snapshots.find(player);
    if (!runs(player) || stored == m_snapshots.end() || stored->second.status == PlaybackStatus::stopped)
        co_return;

    const QDateTime started = m_clock.wallNow();
    const quint64 replacements = m_replacements[player];
    auto run = m_runner.runText(PlayerScripts::wrap(PlayerScripts::positionBody(), player), true);
    const auto answer = co_await run;
    if (!self)
        co_return;
    if (!answer.ok()) {
        if (answer.error().kind == AppleEventFailure::Kind::denied)
            m_deniedPlayers.insert(player);
        co_return;
    }
    m_deniedPlayers.erase(player);
    const auto after = m_snapshots.find(player);
    const QDateTime seen = after != m_snapshots.end() ? after->second.updatedAt : NowPlayingState::distantPast();
    if (seen > started || m_replacements[player] != replacements)
        co_return;

    const QStringList fields = answer.value().split(PlayerScripts::separator, Qt::SkipEmptyParts);
    if (fields.isEmpty())
        co_return;
    const QString &word = fields.first();
    if (!isPlayingWord(word) && !isPausedWord(word)) {
        store(PlayerSnapshot::fresh(player), false);
        publish();
        co_return;
    }
    if (fields.size() < 2)
        co_return;
    const auto position = readPosition(fields.at(1));
    if (!position)
        co_return;

    // The stored reading as it is now (a fresh one if it has gone meanwhile).
    PlayerSnapshot reading = after != m_snapshots.end() ? after->second : PlayerSnapshot::fresh(player);
    const QDateTime at = m_clock.wallNow();
    double expected = reading.elapsed;
    if (reading.status == PlaybackStatus::playing)
        expected += std::max(0.0, secondsBetween(reading.capturedAt, at));
    const PlaybackStatus status = isPlayingWord(word) ? PlaybackStatus::playing : PlaybackStatus::paused;
    const bool statusChanged = status != reading.status;
    reading.status = status;
    reading.elapsed = *position;
    reading.capturedAt = at;
    store(reading, false);
    if (statusChanged || std::abs(*position - expected) > positionTolerance)
        publish();
}

QCoro::Task<> AppleScriptSource::ingest(PlayerBroadcast broadcast)
{
    if (!m_running)
        co_return;
    QPointer<AppleScriptSource> self(this);
    const QDateTime now = m_clock.wallNow();
    const auto stored = m_snapshots.find(broadcast.kind);
    PlayerSnapshot reading = stored != m_snapshots.end() ? stored->second : PlayerSnapshot::fresh(broadcast.kind);
    reading.status = broadcast.status;
    reading.updatedAt = now;

    if (broadcast.status != PlaybackStatus::stopped) {
        const QString identity = broadcast.trackID
                                     ? *broadcast.trackID
                                     : PlayerScripts::composedID(broadcast.title, broadcast.artist, broadcast.album);
        const std::optional<NowPlayingTrack> previous = reading.track;
        const bool sameTrack = previous && sameText(previous->id, identity);
        NowPlayingTrack track;
        track.id = identity;
        track.title = broadcast.title.value_or(QString());
        track.artist = broadcast.artist.value_or(QString());
        track.album = broadcast.album.value_or(QString());
        track.duration = broadcast.duration ? *broadcast.duration : (previous ? previous->duration : 0.0);
        if (sameTrack)
            track.artworkURL = previous->artworkURL;
        reading.track = track;
        if (broadcast.position) {
            reading.elapsed = *broadcast.position;
            reading.capturedAt = now;
        } else if (!sameTrack) {
            reading.elapsed = 0;
            reading.capturedAt = now;
        }
    } else {
        reading.track.reset();
        reading.elapsed = 0;
        reading.capturedAt = now;
    }
    store(reading, true);
    publish();

    if (broadcast.status != PlaybackStatus::stopped && !broadcast.position) {
        // The notification said nothing of the position: ask the player.
        auto position = reconcile(broadcast.kind);
        co_await position;
        if (!self)
            co_return;
    }
    auto artwork = fetchArtworkURLIfNeeded();
    co_await artwork;
}

QCoro::Task<> AppleScriptSource::fetchArtworkURLIfNeeded()
{
    // Only Spotify gives artwork addresses.
    if (!m_current.track || m_current.track->artworkURL || !m_current.player
        || PlayerCatalog::kind(m_current.player->id) != PlayerKind::spotify)
        co_return;
    QPointer<AppleScriptSource> self(this);
    const QString trackID = m_current.track->id;
    auto run = m_runner.runText(PlayerScripts::wrap(PlayerScripts::artworkBody(), PlayerKind::spotify), true);
    const auto answer = co_await run;
    if (!self || !answer.ok())
        co_return;
    const auto url = artworkAddress(answer.value());
    if (!url)
        co_return;
    // The player answers for the track it plays now: the address belongs to the track asked about
    // only while that one is still the published track.
    if (!m_current.track || !sameText(m_current.track->id, trackID))
        co_return;
    for (auto &[kind, reading] : m_snapshots) {
        if (reading.track && sameText(reading.track->id, trackID))
            reading.track->artworkURL = *url;
    }
    publish();
}

std::optional<PlayerSnapshot> AppleScriptSource::winner(const std::map<PlayerKind, PlayerSnapshot> &snapshots)
{
    const auto candidate = [](const PlayerSnapshot &s) { return s.status != PlaybackStatus::stopped && s.track; };
    const bool anyPlaying = std::any_of(snapshots.begin(), snapshots.end(), [&](const auto &entry) {
        return candidate(entry.second) && entry.second.status == PlaybackStatus::playing;
    });
    const PlayerSnapshot *best = nullptr;
    for (const auto &[kind, reading] : snapshots) {
        if (!candidate(reading) || (anyPlaying && reading.status != PlaybackStatus::playing))
            continue;
        if (!best || reading.updatedAt > best->updatedAt)
            best = &reading;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

void AppleScriptSource::publish()
{
    NowPlayingState next = NowPlayingState::idle();
    if (const auto won = winner(m_snapshots)) {
        next.track = won->track;
        next.status = won->status;
        next.elapsed = won->elapsed;
        next.capturedAt = won->capturedAt;
        next.player = PlayerIdentity{bundleIdentifier(won->kind), displayName(won->kind)};
    }
    // A running player that refused a script is reported, whatever plays.
    for (const PlayerKind kind : m_deniedPlayers) {
        if (runs(kind)) {
            next.issue = NowPlayingIssue::automationDenied(displayName(kind));
            break;
        }
    }
    if (next == m_current)
        return;
    const PlaybackStatus previousStatus = m_current.status;
    m_current = next;
    if (m_continuation)
        m_continuation->yield(m_current);
    if (m_current.status != previousStatus)
        reschedulePoll();
}

void AppleScriptSource::reschedulePoll()
{
    if (auto poll = std::exchange(m_pollTask, std::nullopt))
        poll->cancel();
    if (!m_running || m_current.status != PlaybackStatus::playing || m_cadence == NowPlayingCadence::suspended)
        return;
    const Millis interval =
        m_cadence == NowPlayingCadence::foreground ? foregroundPollInterval : backgroundPollInterval;
    const CancelToken token;
    m_pollTask = token;
    runPoll(this, m_clock, interval, token);
}

void AppleScriptSource::store(const PlayerSnapshot &snapshot, bool replaced)
{
    m_snapshots.insert_or_assign(snapshot.kind, snapshot);
    if (replaced)
        ++m_replacements[snapshot.kind];
}

void AppleScriptSource::finishEvents()
{
    if (auto stream = std::exchange(m_continuation, nullptr))
        stream->finish();
}

void AppleScriptSource::endPlayerEvents()
{
    if (auto stream = std::exchange(m_eventContinuation, nullptr))
        stream->finish();
    if (auto task = std::exchange(m_eventTask, std::nullopt))
        task->cancel();
}

// tasks

QCoro::Task<> AppleScriptSource::runEvents(QPointer<AppleScriptSource> self, std::shared_ptr<EventStream> stream,
                                           CancelToken token)
{
    for (;;) {
        auto next = stream->next();
        const std::optional<PlayerEvent> event = co_await next;
        if (!event || token.isCancelled() || !self)
            co_return;
        // Each event is handled to its end before the next is taken.
        if (event->kind == PlayerEvent::Kind::broadcast && event->broadcast) {
            auto handle = self->ingest(*event->broadcast);
            co_await handle;
        } else {
            auto handle = self->refreshAll();
            co_await handle;
        }
    }
}

QCoro::Task<> AppleScriptSource::runPoll(QPointer<AppleScriptSource> self, Clock &clock, Millis interval,
                                         CancelToken token)
{
    for (;;) {
        if (token.isCancelled())
            co_return;
        auto sleep = clock.sleepFor(interval, token);
        co_await sleep;
        if (token.isCancelled() || !self)
            co_return;
        auto position = self->reconcile(std::nullopt);
        co_await position;
    }
}

} // namespace tavrenhold
