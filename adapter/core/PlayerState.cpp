#include "PlayerState.h"

#include <algorithm>
#include <cmath>

namespace tavrenhold::adapter {

PlaybackStatus playbackStatusFrom(const QString &text)
{
    if (text == QLatin1String("Playing"))
        return PlaybackStatus::Playing;
    if (text == QLatin1String("Paused"))
        return PlaybackStatus::Paused;
    return PlaybackStatus::Stopped;
}

std::optional<qint64> PlayerState::positionAt(const QDateTime &now) const
{
    if (!position)
        return std::nullopt;
    double us = double(position->us);
    if (status == PlaybackStatus::Playing && position->at.isValid() && now.isValid()) {
        const qint64 ms = std::max<qint64>(0, position->at.msecsTo(now));
        us += double(ms) * 1000.0 * rate;
    }
    if (track.lengthUs)
        us = std::min(us, double(*track.lengthUs));
    us = std::max(us, 0.0);
    if (!std::isfinite(us) || us >= 9.2e18)
        return position->us;
    return qint64(us);
}

bool PlayerState::applyStatus(PlaybackStatus next, const QDateTime &now, quint64 &event)
{
    if (next == status)
        return false;
    if (const auto reached = positionAt(now))
        position = PositionAnchor{*reached, now};
    if (next == PlaybackStatus::Playing)
        playingSince = ++event;
    lastActive = ++event;
    status = next;
    return true;
}

bool PlayerState::applyTrack(const TrackInfo &next, const QDateTime &now, quint64 &event)
{
    if (next == track)
        return false;
    if (next.isOtherTrackThan(track)) {
        position = PositionAnchor{0, now};
        lastActive = ++event;
    }
    track = next;
    return true;
}

bool PlayerState::applyRate(double next, const QDateTime &now)
{
    if (!std::isfinite(next) || next <= 0)
        next = 1.0;
    if (next == rate)
        return false;
    if (const auto reached = positionAt(now))
        position = PositionAnchor{*reached, now};
    rate = next;
    return true;
}

bool PlayerState::applyPolledPosition(qint64 us, const QDateTime &at, qint64 toleranceUs)
{
    us = std::max<qint64>(0, us);
    if (const auto expected = positionAt(at); expected && std::llabs(*expected - us) <= toleranceUs)
        return false;
    position = PositionAnchor{us, at};
    return true;
}

bool PlayerState::applySeek(qint64 us, const QDateTime &at)
{
    const PositionAnchor next{std::max<qint64>(0, us), at};
    if (position == next)
        return false;
    position = next;
    return true;
}

std::optional<std::size_t> chooseNowPlaying(std::span<const PlayerState> players, ChoiceRules rules)
{
    std::optional<std::size_t> best;
    auto rank = [](const PlayerState &p) {
        // Playing players before paused ones before stopped ones; within a group the latest event wins.
        const int group = p.status == PlaybackStatus::Playing ? 2 : p.status == PlaybackStatus::Paused ? 1 : 0;
        const quint64 when = p.status == PlaybackStatus::Playing ? p.playingSince : p.lastActive;
        return std::pair(group, when);
    };
    for (std::size_t i = 0; i < players.size(); ++i) {
        const PlayerState &p = players[i];
        if (p.status == PlaybackStatus::Stopped && !rules.includeStopped)
            continue;
        if (!p.track.title && !rules.allowMissingTitle)
            continue;
        if (!best || rank(p) > rank(players[*best]))
            best = i;
    }
    return best;
}

Payload payloadFor(const PlayerState &player, std::optional<QByteArray> artwork)
{
    Payload p;
    p.title = player.track.title;
    p.artist = player.track.artist;
    p.album = player.track.album;
    if (player.track.lengthUs)
        p.duration = double(*player.track.lengthUs) / 1e6;
    if (player.position) {
        qint64 us = std::max<qint64>(0, player.position->us);
        if (player.track.lengthUs)
            us = std::min(us, *player.track.lengthUs);
        p.elapsedTime = double(us) / 1e6;
        p.timestamp = player.position->at.toUTC();
    }
    const bool playing = player.status == PlaybackStatus::Playing;
    p.playing = playing;
    p.playbackRate = playing ? player.rate : 0.0;
    const QString bundle = bundleIdentifierFor(player.busName, player.desktopEntry);
    if (!bundle.isEmpty())
        p.bundleIdentifier = bundle;
    if (artwork && !artwork->isEmpty())
        p.artworkData = std::move(artwork);
    return p;
}

} // namespace tavrenhold::adapter
