#pragma once

#include "Metadata.h"
#include "Payload.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <span>

namespace tavrenhold::adapter {

enum class PlaybackStatus { Stopped, Paused, Playing };

// `PlaybackStatus` as MPRIS writes it; anything unknown reads as stopped.
[[nodiscard]] PlaybackStatus playbackStatusFrom(const QString &text);

// Where playback stood at a moment: position `us` at wall-clock time `at`.
struct PositionAnchor {
    qint64 us = 0;
    QDateTime at;
    bool operator==(const PositionAnchor &) const = default;
};

// Everything the adapter keeps about one player, and the rules for updating it. The event counters
// order players by what they did last: `playingSince` is the event at which it last started playing,
// `lastActive` the event of its last change of status or track.
struct PlayerState {
    QString busName;
    QString desktopEntry;
    PlaybackStatus status = PlaybackStatus::Stopped;
    TrackInfo track;
    double rate = 1.0;
    std::optional<PositionAnchor> position;
    quint64 playingSince = 0;
    quint64 lastActive = 0;

    bool operator==(const PlayerState &) const = default;

    // The position at `now`, moved on from the anchor while playing, clamped to [0, length].
    [[nodiscard]] std::optional<qint64> positionAt(const QDateTime &now) const;

    // Each returns true when something the payload shows changed. `event` is the next event number.
    // A change of status first fixes the position reached under the old status.
    bool applyStatus(PlaybackStatus next, const QDateTime &now, quint64 &event);
    // A new track restarts the position at 0 (until the player says otherwise).
    bool applyTrack(const TrackInfo &next, const QDateTime &now, quint64 &event);
    bool applyRate(double next, const QDateTime &now);
    // A position read by polling: taken only when it departs from the extrapolated one by more than
    // `toleranceUs` (or when there is no anchor yet), so a steady player makes no new lines.
    bool applyPolledPosition(qint64 us, const QDateTime &at, qint64 toleranceUs);
    // A position the player announced (`Seeked`): always taken.
    bool applySeek(qint64 us, const QDateTime &at);
};

// How far a polled position may drift from the extrapolated one before it counts as a jump.
inline constexpr qint64 kPositionToleranceUs = 1'000'000;

struct ChoiceRules {
    bool allowMissingTitle = false; // without it, players whose track has no title are passed over
    bool includeStopped = false;    // commands may wake a stopped player when nothing else is there
};

// The now-playing player: the one that most recently started playing; when none plays, the most
// recently active paused one (and, with `includeStopped`, then the most recently active stopped one).
// Ties go to the earlier entry.
[[nodiscard]] std::optional<std::size_t> chooseNowPlaying(std::span<const PlayerState> players, ChoiceRules rules);

// The payload for one player. The position is the anchor's (elapsed at its moment), so a steady
// player gives the same payload until something changes. `artwork` is attached as given.
[[nodiscard]] Payload payloadFor(const PlayerState &player, std::optional<QByteArray> artwork = std::nullopt);

} // namespace tavrenhold::adapter
