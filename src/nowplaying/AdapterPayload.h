#pragma once

#include "design/Clock.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

class QJsonObject;

namespace tavrenhold {

// What the adapter reports about the now-playing item. Every field is optional: a missing key or a
// JSON null leaves it absent, as does a number that is not finite. Keys not listed are ignored.
struct AdapterPayload {
    std::optional<QString> title;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<double> duration;    // seconds
    std::optional<double> elapsedTime; // seconds, at timestamp
    std::optional<QDateTime> timestamp;
    std::optional<bool> playing;
    std::optional<double> playbackRate;
    std::optional<QString> bundleIdentifier;
    std::optional<QString> parentApplicationBundleIdentifier;
    std::optional<QByteArray> artworkData;

    // Every field absent: the adapter reports that nothing plays.
    [[nodiscard]] bool isEmpty() const { return *this == AdapterPayload{}; }

    bool operator==(const AdapterPayload &) const = default;
};

// One line of the stream: {"type": …, "payload": {…}}.
struct AdapterEnvelope {
    QString type;
    std::optional<AdapterPayload> payload;

    bool operator==(const AdapterEnvelope &) const = default;
};

// The one decoding of adapter JSON, for stream lines and for the bare payload of a "get" run.
// A value of the wrong JSON type for its key fails the whole record. "timestamp" must be a string:
// an ISO 8601 date-time (with or without fractional seconds) gives that date, any other string the
// clock's present time. "artworkData" is standard Base64.
class AdapterDecoder {
public:
    explicit AdapterDecoder(const Clock &clock = Clock::system()) : m_clock(&clock) {}

    [[nodiscard]] std::optional<AdapterEnvelope> decodeEnvelope(QByteArrayView json) const;
    [[nodiscard]] std::optional<AdapterPayload> decodePayload(QByteArrayView json) const;

    // The strict ISO 8601 forms YYYY-MM-DDTHH:MM:SS[.fff](Z|±HH:MM); nothing for any other text.
    [[nodiscard]] static std::optional<QDateTime> parseDate(const QString &text);

private:
    [[nodiscard]] std::optional<AdapterPayload> payloadFrom(const QJsonObject &object) const;

    const Clock *m_clock;
};

} // namespace tavrenhold
