#pragma once

#include "design/NotchImage.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

namespace tavrenhold {

namespace NowPlaying {
Q_NAMESPACE

// Whether the player plays; the texts are the stored raw values.
enum class PlaybackStatus { stopped, paused, playing };
Q_ENUM_NS(PlaybackStatus)

// How eagerly a source refreshes: foreground while the Music pane is shown, background while it is
// hidden but something is live, suspended while it is hidden and nothing is live.
enum class NowPlayingCadence { foreground, background, suspended };
Q_ENUM_NS(NowPlayingCadence)

// Hashes the raw text.
[[nodiscard]] size_t qHash(PlaybackStatus status, size_t seed = 0) noexcept;
} // namespace NowPlaying
using NowPlaying::NowPlayingCadence;
using NowPlaying::PlaybackStatus;

[[nodiscard]] QString rawValue(PlaybackStatus status);
// Exactly "stopped", "paused" or "playing" (case-sensitive); anything else gives nothing.
[[nodiscard]] std::optional<PlaybackStatus> playbackStatusFromRaw(QStringView raw);
// Texts compare as Unicode text: canonically equivalent spellings are equal.
[[nodiscard]] bool sameText(const QString &a, const QString &b);

// The application that plays, identified by its bundle identifier.
struct PlayerIdentity {
    QString id;
    QString name;

    bool operator==(const PlayerIdentity &other) const;
};

struct NowPlayingTrack {
    QString id; // identity within its source
    QString title;
    QString artist;
    QString album;
    double duration = 0; // seconds; 0 when the source has no length
    std::optional<QUrl> artworkURL;
    std::optional<NotchImage> artwork;

    bool operator==(const NowPlayingTrack &other) const;
};

// A problem that keeps a source from reading a player. One case: the player refused automation.
struct NowPlayingIssue {
    enum class Kind { automationDenied };
    Kind kind = Kind::automationDenied;
    QString player; // display name of the player

    [[nodiscard]] static NowPlayingIssue automationDenied(const QString &player)
    {
        return NowPlayingIssue{Kind::automationDenied, player};
    }
    bool operator==(const NowPlayingIssue &other) const;
};

struct NowPlayingState {
    std::optional<NowPlayingTrack> track;
    PlaybackStatus status = PlaybackStatus::stopped;
    double elapsed = 0;   // seconds, true at capturedAt
    QDateTime capturedAt; // base of extrapolation
    std::optional<PlayerIdentity> player;
    std::optional<NowPlayingIssue> issue;

    // Nothing playing: no track, stopped, captured in the distant past.
    [[nodiscard]] static const NowPlayingState &idle();
    // A point in time long before any real capture.
    [[nodiscard]] static QDateTime distantPast();

    // A track is present and not stopped; a paused track is live.
    [[nodiscard]] bool isLive() const;
    // The position at t: elapsed, advanced by the time since capture while playing, kept within
    // 0 … duration (a track without a positive duration is always at 0).
    [[nodiscard]] double position(const QDateTime &at) const;

    bool operator==(const NowPlayingState &other) const;
};

// A command towards the player. seek carries the target in seconds from the track's start.
struct TransportCommand {
    enum class Kind { seek, play, pause, toggle, next, previous };
    Kind kind = Kind::play;
    double seconds = 0; // only for seek

    [[nodiscard]] static TransportCommand seek(double seconds) { return {Kind::seek, seconds}; }
    [[nodiscard]] static TransportCommand play() { return {Kind::play}; }
    [[nodiscard]] static TransportCommand pause() { return {Kind::pause}; }
    [[nodiscard]] static TransportCommand toggle() { return {Kind::toggle}; }
    [[nodiscard]] static TransportCommand next() { return {Kind::next}; }
    [[nodiscard]] static TransportCommand previous() { return {Kind::previous}; }
};

} // namespace tavrenhold
