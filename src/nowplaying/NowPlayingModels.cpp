#include "NowPlayingModels.h"

#include <QHashFunctions>

#include <algorithm>

namespace tavrenhold {

QString rawValue(PlaybackStatus status)
{
    switch (status) {
    case PlaybackStatus::stopped:
        return QStringLiteral("stopped");
    case PlaybackStatus::paused:
        return QStringLiteral("paused");
    case PlaybackStatus::playing:
        return QStringLiteral("playing");
    }
    return QStringLiteral("stopped");
}

std::optional<PlaybackStatus> playbackStatusFromRaw(QStringView raw)
{
    for (PlaybackStatus s : {PlaybackStatus::stopped, PlaybackStatus::paused, PlaybackStatus::playing}) {
        if (raw == rawValue(s))
            return s;
    }
    return std::nullopt;
}

size_t NowPlaying::qHash(PlaybackStatus status, size_t seed) noexcept { return ::qHash(rawValue(status), seed); }

bool sameText(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

bool PlayerIdentity::operator==(const PlayerIdentity &other) const
{
    return sameText(id, other.id) && sameText(name, other.name);
}

namespace {
bool sameImage(const std::optional<NotchImage> &a, const std::optional<NotchImage> &b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || (sameText(a->id, b->id) && a->bytes == b->bytes);
}
} // namespace

bool NowPlayingTrack::operator==(const NowPlayingTrack &other) const
{
    return sameText(id, other.id) && sameText(title, other.title) && sameText(artist, other.artist)
        && sameText(album, other.album) && duration == other.duration && artworkURL == other.artworkURL
        && sameImage(artwork, other.artwork);
}

bool NowPlayingIssue::operator==(const NowPlayingIssue &other) const
{
    return kind == other.kind && sameText(player, other.player);
}

QDateTime NowPlayingState::distantPast() { return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC); }

const NowPlayingState &NowPlayingState::idle()
{
    static const NowPlayingState state{std::nullopt, PlaybackStatus::stopped, 0, distantPast(), std::nullopt,
                                       std::nullopt};
    return state;
}

bool NowPlayingState::isLive() const { return track.has_value() && status != PlaybackStatus::stopped; }

double NowPlayingState::position(const QDateTime &at) const
{
    if (!track)
        return 0;
    double since = 0;
    if (status == PlaybackStatus::playing)
        since = std::max(0.0, double(capturedAt.msecsTo(at)) / 1000.0);
    double p = elapsed + since;
    if (!(p > 0)) // also catches a non-finite elapsed
        p = 0;
    const double d = track->duration > 0 ? track->duration : 0;
    return std::min(p, d);
}

bool NowPlayingState::operator==(const NowPlayingState &other) const
{
    return track == other.track && status == other.status && elapsed == other.elapsed
        && capturedAt == other.capturedAt && player == other.player && issue == other.issue;
}

} // namespace tavrenhold
