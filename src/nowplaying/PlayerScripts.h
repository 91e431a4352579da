#pragma once

#include "design/Clock.h"
#include "nowplaying/NowPlayingModels.h"
#include "nowplaying/PlayerKind.h"

#include <QChar>
#include <QDateTime>
#include <QString>

#include <optional>

namespace tavrenhold {

// The last reading of one player.
struct PlayerSnapshot {
    PlayerKind kind = PlayerKind::spotify;
    PlaybackStatus status = PlaybackStatus::stopped;
    std::optional<NowPlayingTrack> track; // absent when stopped or without a current track
    double elapsed = 0;                   // seconds, true at capturedAt
    QDateTime capturedAt;
    QDateTime updatedAt; // when the reading was last replaced by a script answer or a notification

    // Stopped, no track, elapsed 0, both dates the distant past.
    [[nodiscard]] static PlayerSnapshot fresh(PlayerKind kind);

    bool operator==(const PlayerSnapshot &other) const = default;
};

// The scripts sent to the players and the reading of their answers: constants and pure functions.
namespace PlayerScripts {

// Separates the fields of every reply and of composed identities (U+001F).
inline constexpr QChar separator{0x1F};

// The complete script: "with timeout of 8 seconds", "tell application id "<bundle id>"", the body,
// "end tell", "end timeout", joined by line feeds.
[[nodiscard]] QString wrap(const QString &body, PlayerKind kind);

// The state script, already wrapped. Its answer is "stopped" or eight fields: state, identity, title,
// artist, album, duration (Spotify: milliseconds, Music: seconds), position (seconds), extra field
// (Spotify: the artwork URL; Music: empty).
[[nodiscard]] QString stateScript(PlayerKind kind);

// The position script's body (wrap it): answers "stopped" or the state word, U+001F, the position.
[[nodiscard]] QString positionBody();

// The artwork script's body (Spotify; wrap it): answers the current track's artwork URL.
[[nodiscard]] QString artworkBody();

// The body that carries out a transport command (wrap it for the target player). A seek's position is
// written with three decimals and a point, never below 0.
[[nodiscard]] QString commandBody(const TransportCommand &command);

// Reads the state script's answer of kind into a new reading, given that player's previous reading.
// updatedAt and capturedAt are the clock's wall time now. Never fails.
[[nodiscard]] PlayerSnapshot parse(const QString &answer, PlayerKind kind,
                                   const std::optional<PlayerSnapshot> &previous, const Clock &clock);

// The present texts, in this order, joined by the separator; three absent values give the empty text.
[[nodiscard]] QString composedID(const std::optional<QString> &title, const std::optional<QString> &artist,
                                 const std::optional<QString> &album);

} // namespace PlayerScripts

} // namespace tavrenhold
