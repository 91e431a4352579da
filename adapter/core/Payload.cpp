#include "Payload.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

namespace tavrenhold::adapter {

namespace {

constexpr auto kMprisPrefix = "org.mpris.MediaPlayer2.";

template <typename T>
void put(QJsonObject &json, const char *key, const std::optional<T> &value)
{
    if (!value)
        return;
    if constexpr (std::is_same_v<T, double>) {
        if (std::isfinite(*value))
            json.insert(QLatin1String(key), *value);
    } else if constexpr (std::is_same_v<T, QDateTime>) {
        if (value->isValid())
            json.insert(QLatin1String(key), isoTimestamp(*value));
    } else if constexpr (std::is_same_v<T, QByteArray>) {
        json.insert(QLatin1String(key), QString::fromLatin1(value->toBase64()));
    } else {
        json.insert(QLatin1String(key), *value);
    }
}

bool isDesktopId(const QString &s)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]*$"));
    return re.match(s).hasMatch();
}

} // namespace

QString isoTimestamp(const QDateTime &at)
{
    return at.toUTC().toString(Qt::ISODateWithMs);
}

QJsonObject toJson(const Payload &p)
{
    QJsonObject json;
    put(json, "title", p.title);
    put(json, "artist", p.artist);
    put(json, "album", p.album);
    put(json, "duration", p.duration);
    put(json, "elapsedTime", p.elapsedTime);
    put(json, "timestamp", p.timestamp);
    put(json, "playing", p.playing);
    put(json, "playbackRate", p.playbackRate);
    put(json, "bundleIdentifier", p.bundleIdentifier);
    put(json, "artworkData", p.artworkData);
    return json;
}

QJsonObject diffJson(const Payload &from, const Payload &to)
{
    const QJsonObject a = toJson(from);
    const QJsonObject b = toJson(to);
    QJsonObject diff;
    for (auto it = b.begin(); it != b.end(); ++it) {
        if (a.value(it.key()) != it.value())
            diff.insert(it.key(), it.value());
    }
    for (auto it = a.begin(); it != a.end(); ++it) {
        if (!b.contains(it.key()))
            diff.insert(it.key(), QJsonValue::Null);
    }
    return diff;
}

std::optional<QByteArray> LineMaker::lineFor(const Payload &next)
{
    if (m_last && *m_last == next)
        return std::nullopt;
    QJsonObject envelope{{QStringLiteral("type"), QStringLiteral("data")}};
    if (m_diff) {
        envelope.insert(QStringLiteral("diff"), true);
        envelope.insert(QStringLiteral("payload"), diffJson(m_last.value_or(Payload{}), next));
    } else {
        envelope.insert(QStringLiteral("payload"), toJson(next));
    }
    m_last = next;
    return QJsonDocument(envelope).toJson(QJsonDocument::Compact) + '\n';
}

QString bundleIdentifierFor(const QString &busName, const QString &desktopEntry)
{
    QString id = desktopEntry.trimmed();
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(int(qstrlen(".desktop")));
    if (!isDesktopId(id)) {
        id.clear();
        if (busName.startsWith(QLatin1String(kMprisPrefix))) {
            id = busName.mid(int(qstrlen(kMprisPrefix)));
            static const QRegularExpression instance(QStringLiteral("\\.instance[^.]*$"));
            id.remove(instance);
        }
        if (!isDesktopId(id))
            return {};
    }
    if (id.compare(QLatin1String("spotify"), Qt::CaseInsensitive) == 0
        || id.compare(QLatin1String("com.spotify.client"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("com.spotify.client");
    return id;
}

} // namespace tavrenhold::adapter
