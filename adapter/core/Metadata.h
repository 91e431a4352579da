#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

namespace tavrenhold::adapter {

// What one MPRIS `Metadata` map says about the current track. Every field is absent when the
// player left it out or gave a value we cannot use (an empty text, a length that is not positive).
struct TrackInfo {
    std::optional<QString> title;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<qint64> lengthUs;   // `mpris:length`, microseconds
    std::optional<QString> trackId;   // `mpris:trackid`, as text (object path or plain string)
    std::optional<QString> artUrl;    // `mpris:artUrl`

    bool operator==(const TrackInfo &) const = default;

    // True when trackId differs, or (without track ids) when what the track shows differs.
    [[nodiscard]] bool isOtherTrackThan(const TrackInfo &other) const;
};

// Turns what Qt DBus hands over (QDBusVariant, QDBusArgument holding maps, arrays or structures)
// into plain QVariant maps, lists and values. Reads the argument once.
[[nodiscard]] QVariant plainDBusValue(const QVariant &value);

// Reads a `Metadata` map, whatever its values' D-Bus types: texts may come as `s`, `as` or `av`
// (lists are joined with ", ", empty entries dropped), the length as any integer type or a double,
// the track id as an object path or a string.
[[nodiscard]] TrackInfo parseMetadata(const QVariantMap &metadata);

// A finite, non-negative count of microseconds from any numeric D-Bus value; none otherwise.
[[nodiscard]] std::optional<qint64> microsecondsFrom(const QVariant &value);

} // namespace tavrenhold::adapter
