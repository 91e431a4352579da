#include "PlayerScripts.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace tavrenhold {

PlayerSnapshot PlayerSnapshot::fresh(PlayerKind kind)
{
    PlayerSnapshot s;
    s.kind = kind;
    s.capturedAt = NowPlayingState::distantPast();
    s.updatedAt = NowPlayingState::distantPast();
    return s;
}

namespace PlayerScripts {

namespace {

const QString lf = QStringLiteral("\n");

// Decimal text as the players write numbers: optional sign, digits with a point, optional exponent.
// Anything else, and anything that does not come out finite, reads as nothing.
std::optional<double> readNumber(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok); // QString::toDouble always reads the C locale
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A web address: the text parses as a URL and its scheme, as written, begins with "http".
std::optional<QUrl> webURL(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || !text.left(colon).startsWith(QLatin1String("http")))
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    // The text before the colon must be the address's scheme: "httpx/:y" is a relative path.
    if (!url.isValid() || url.scheme().compare(text.left(colon), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return url;
}

} // namespace

QString wrap(const QString &body, PlayerKind kind)
{
    return QStringLiteral("with timeout of 8 seconds\ntell application id \"") + bundleIdentifier(kind)
        + QStringLiteral("\"\n") + body + QStringLiteral("\nend tell\nend timeout");
}

QString stateScript(PlayerKind kind)
{
    QString body = QStringLiteral("set sep to (character id 31)\n"
                                  "set extraField to \"\"\n"
                                  "set theState to player state as text\n"
                                  "if theState is not \"playing\" and theState is not \"paused\" then return \"stopped\"\n"
                                  "set thePosition to 0\n"
                                  "try\n"
                                  "\tset thePosition to player position\n"
                                  "end try\n"
                                  "set theTrack to current track\n"
                                  "set theID to \"\"\n"
                                  "try\n"
                                  "\tset theID to ");
    body += kind == PlayerKind::spotify ? QStringLiteral("(id of theTrack) as text")
                                        : QStringLiteral("(persistent ID of theTrack) as text");
    body += lf + QStringLiteral("end try");
    if (kind == PlayerKind::spotify)
        body += QStringLiteral("\n\ttry\n\t\tset extraField to artwork url of theTrack\n\tend try");
    body += lf
        + QStringLiteral("return theState & sep & theID & sep & (name of theTrack) & sep & (artist of theTrack) & sep & "
                         "(album of theTrack) & sep & ((duration of theTrack) as text) & sep & (thePosition as text) & sep & "
                         "extraField");
    return wrap(body, kind);
}

QString positionBody()
{
    return QStringLiteral("set theState to player state as text\n"
                          "if theState is not \"playing\" and theState is not \"paused\" then return \"stopped\"\n"
                          "return theState & (character id 31) & (player position as text)");
}

QString artworkBody() { return QStringLiteral("return artwork url of current track"); }

QString commandBody(const TransportCommand &command)
{
    switch (command.kind) {
    case TransportCommand::Kind::play:
        return QStringLiteral("play");
    case TransportCommand::Kind::pause:
        return QStringLiteral("pause");
    case TransportCommand::Kind::toggle:
        return QStringLiteral("playpause");
    case TransportCommand::Kind::next:
        return QStringLiteral("next track");
    case TransportCommand::Kind::previous:
        return QStringLiteral("previous track");
    case TransportCommand::Kind::seek: {
        // Never below 0; a non-finite target never reaches the player.
        const double s = std::isfinite(command.seconds) && command.seconds > 0 ? command.seconds : 0.0;
        return QStringLiteral("set player position to ") + QString::number(s, 'f', 3);
    }
    }
    return QString();
}

PlayerSnapshot parse(const QString &answer, PlayerKind kind, const std::optional<PlayerSnapshot> &previous,
                     const Clock &clock)
{
    PlayerSnapshot reading = PlayerSnapshot::fresh(kind);
    reading.updatedAt = clock.wallNow();
    reading.capturedAt = clock.wallNow();

    const QStringList fields = answer.split(separator, Qt::KeepEmptyParts);
    if (fields.size() < 7 || fields.at(0) == QLatin1String("stopped"))
        return reading;

    reading.status = fields.at(0) == QLatin1String("playing") ? PlaybackStatus::playing : PlaybackStatus::paused;

    NowPlayingTrack track;
    track.title = fields.at(2);
    track.artist = fields.at(3);
    track.album = fields.at(4);
    track.duration = readNumber(fields.at(5)).value_or(0.0);
    if (kind == PlayerKind::spotify)
        track.duration /= 1000.0;
    track.id = fields.at(1).isEmpty() ? composedID(track.title, track.artist, track.album) : fields.at(1);
    reading.elapsed = readNumber(fields.at(6)).value_or(0.0);

    if (fields.size() >= 8)
        track.artworkURL = webURL(fields.at(7));
    if (!track.artworkURL && previous && previous->track && previous->track->id == track.id)
        track.artworkURL = previous->track->artworkURL;

    reading.track = std::move(track);
    return reading;
}

QString composedID(const std::optional<QString> &title, const std::optional<QString> &artist,
                   const std::optional<QString> &album)
{
    QStringList parts;
    for (const auto *part : {&title, &artist, &album}) {
        if (*part)
            parts << **part;
    }
    return parts.join(separator);
}

} // namespace PlayerScripts

} // namespace tavrenhold
