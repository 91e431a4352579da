#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tavrenhold::adapter {

// One now-playing report as the program reads it: every field optional, absent fields are left out
// of the JSON. Times are seconds; `timestamp` is when `elapsedTime` was measured.
struct Payload {
    std::optional<QString> title;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<double> duration;
    std::optional<double> elapsedTime;
    std::optional<QDateTime> timestamp;
    std::optional<bool> playing;
    std::optional<double> playbackRate;
    std::optional<QString> bundleIdentifier;
    std::optional<QByteArray> artworkData;

    bool operator==(const Payload &) const = default;
    [[nodiscard]] bool isEmpty() const { return *this == Payload{}; }
};

// "YYYY-MM-DDTHH:MM:SS.sssZ" in UTC.
[[nodiscard]] QString isoTimestamp(const QDateTime &at);

// The payload as a JSON object; non-finite numbers are left out, artwork is Base64.
[[nodiscard]] QJsonObject toJson(const Payload &payload);

// Only the fields whose values differ between `from` and `to`; a field that `to` lacks is null.
[[nodiscard]] QJsonObject diffJson(const Payload &from, const Payload &to);

// Cuts the stream into lines: one line per change of the payload, none for a repeat.
//  - full mode (--no-diff): {"type":"data","payload":{...every field...}}
//  - diff mode (the default): {"type":"data","diff":true,"payload":{...changed fields, removed ones null...}};
//    the first line is a diff against the empty payload, so it holds every field.
class LineMaker {
public:
    explicit LineMaker(bool diffMode) : m_diff(diffMode) {}
    // The line (with its line feed) for `next`, or none when it equals the last line's payload.
    [[nodiscard]] std::optional<QByteArray> lineFor(const Payload &next);

private:
    bool m_diff;
    std::optional<Payload> m_last;
};

// The program's bundle identifier for an MPRIS player:
//  1. the player's `DesktopEntry` (without a ".desktop" ending) when it is a plain desktop-file id
//     (letters, digits, ".", "_", "-"); otherwise
//  2. the bus name after "org.mpris.MediaPlayer2.", without an ".instance…" ending
//     ("org.mpris.MediaPlayer2.mpv.instance4711" → "mpv");
// then Spotify, whichever way it names itself ("spotify", "com.spotify.Client"), becomes
// "com.spotify.client". Empty when neither gives a usable name.
[[nodiscard]] QString bundleIdentifierFor(const QString &busName, const QString &desktopEntry);

} // namespace tavrenhold::adapter
