#include "AdapterPayload.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstring>

namespace tavrenhold {

namespace {

// Reading one field: absent (missing or null), a value, or a type error that fails the record.
enum class Read { absent, value, wrongType };

// No real track's name is longer; a player naming one with megabytes of text would otherwise have
// every view lay all of it out (seconds of work and a hundred megabytes held for the last track).
constexpr qsizetype maxNameChars = 1024;

void boundName(std::optional<QString> &text)
{
    if (!text || text->size() <= maxNameChars)
        return;
    qsizetype keep = maxNameChars;
    if (text->at(keep - 1).isHighSurrogate())
        --keep; // never half a character
    text->truncate(keep);
}

Read readString(const QJsonObject &o, QLatin1String key, std::optional<QString> &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return Read::absent;
    if (!v.isString())
        return Read::wrongType;
    out = v.toString();
    return Read::value;
}

Read readNumber(const QJsonObject &o, QLatin1String key, std::optional<double> &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return Read::absent;
    if (!v.isDouble())
        return Read::wrongType;
    const double d = v.toDouble();
    if (!std::isfinite(d)) // never reaches the callers' arithmetic
        return Read::absent;
    out = d;
    return Read::value;
}

Read readBool(const QJsonObject &o, QLatin1String key, std::optional<bool> &out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return Read::absent;
    if (!v.isBool())
        return Read::wrongType;
    out = v.toBool();
    return Read::value;
}

Read readBase64(const QJsonObject &o, QLatin1String key, std::optional<QByteArray> &out)
{
    std::optional<QString> text;
    const Read r = readString(o, key, text);
    if (r != Read::value)
        return r;
    // Non-Latin-1 characters become '?', which is no Base64 character either.
    auto decoded = QByteArray::fromBase64Encoding(text->toLatin1(), QByteArray::Base64Encoding
                                                                        | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return Read::wrongType;
    out = std::move(decoded.decoded);
    return Read::value;
}

// The JSON text with every number that no double can hold (1e999, -1e999, 1e-999) turned into null,
// so that such a field reads as absent instead of failing the record. Strings are left alone.
QByteArray nullUnholdableNumbers(QByteArrayView json)
{
    QByteArray out;
    out.reserve(json.size());
    bool inString = false;
    bool escaped = false;
    qsizetype i = 0;
    while (i < json.size()) {
        const char c = json[i];
        if (inString) {
            out += c;
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            ++i;
            continue;
        }
        if (c == '-' || (c >= '0' && c <= '9')) {
            qsizetype end = i;
            while (end < json.size() && std::strchr("+-0123456789.eE", json[end]) && json[end] != '\0')
                ++end;
            const QByteArrayView token = json.sliced(i, end - i);
            double value = 0;
            const auto [stop, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
            if (ec == std::errc::result_out_of_range && stop == token.data() + token.size())
                out += "null";
            else
                out += token;
            i = end;
            continue;
        }
        if (c == '"')
            inString = true;
        out += c;
        ++i;
    }
    return out;
}

std::optional<QJsonObject> parseObject(QByteArrayView json)
{
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error == QJsonParseError::IllegalNumber)
        doc = QJsonDocument::fromJson(nullUnholdableNumbers(json), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

} // namespace

std::optional<QDateTime> AdapterDecoder::parseDate(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(?:\.(\d+))?(Z|([+-])(\d{2}):(\d{2}))$)"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    int msec = 0;
    if (m.hasCaptured(7)) {
        const QString fraction = (m.captured(7) + QStringLiteral("00")).left(3);
        msec = fraction.toInt();
    }
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), msec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    QDateTime result(date, time, Qt::UTC);
    if (m.captured(8) != QLatin1String("Z")) {
        const int hours = m.captured(10).toInt();
        const int minutes = m.captured(11).toInt();
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        const int offset = (hours * 60 + minutes) * 60;
        // Local time at an offset east of UTC is that much ahead of UTC.
        result = result.addSecs(m.captured(9) == QLatin1String("+") ? -offset : offset);
    }
    return result;
}

std::optional<AdapterPayload> AdapterDecoder::payloadFrom(const QJsonObject &o) const
{
    AdapterPayload p;
    const Read reads[] = {
        readString(o, QLatin1String("title"), p.title),
        readString(o, QLatin1String("artist"), p.artist),
        readString(o, QLatin1String("album"), p.album),
        readNumber(o, QLatin1String("duration"), p.duration),
        readNumber(o, QLatin1String("elapsedTime"), p.elapsedTime),
        readBool(o, QLatin1String("playing"), p.playing),
        readNumber(o, QLatin1String("playbackRate"), p.playbackRate),
        readString(o, QLatin1String("bundleIdentifier"), p.bundleIdentifier),
        readString(o, QLatin1String("parentApplicationBundleIdentifier"), p.parentApplicationBundleIdentifier),
        readBase64(o, QLatin1String("artworkData"), p.artworkData),
    };
    for (Read r : reads) {
        if (r == Read::wrongType)
            return std::nullopt;
    }
    boundName(p.title);
    boundName(p.artist);
    boundName(p.album);
    std::optional<QString> stamp;
    if (readString(o, QLatin1String("timestamp"), stamp) == Read::wrongType)
        return std::nullopt;
    if (stamp)
        p.timestamp = parseDate(*stamp).value_or(m_clock->wallNow());
    return p;
}

std::optional<AdapterPayload> AdapterDecoder::decodePayload(QByteArrayView json) const
{
    const auto object = parseObject(json);
    if (!object)
        return std::nullopt;
    return payloadFrom(*object);
}

std::optional<AdapterEnvelope> AdapterDecoder::decodeEnvelope(QByteArrayView json) const
{
    const auto object = parseObject(json);
    if (!object)
        return std::nullopt;
    const QJsonValue type = object->value(QLatin1String("type"));
    if (!type.isString())
        return std::nullopt;
    AdapterEnvelope envelope{type.toString(), std::nullopt};
    const QJsonValue payload = object->value(QLatin1String("payload"));
    if (payload.isUndefined() || payload.isNull())
        return envelope;
    if (!payload.isObject())
        return std::nullopt;
    envelope.payload = payloadFrom(payload.toObject());
    if (!envelope.payload)
        return std::nullopt;
    return envelope;
}

} // namespace tavrenhold
