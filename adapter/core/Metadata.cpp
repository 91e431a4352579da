#include "Metadata.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QStringList>

#include <cmath>
#include <limits>

namespace tavrenhold::adapter {

namespace {

QVariant readArgument(const QDBusArgument &arg)
{
    switch (arg.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return plainDBusValue(arg.asVariant());
    case QDBusArgument::ArrayType: {
        QVariantList list;
        arg.beginArray();
        while (!arg.atEnd())
            list << plainDBusValue(arg.asVariant());
        arg.endArray();
        return list;
    }
    case QDBusArgument::StructureType: {
        QVariantList list;
        arg.beginStructure();
        while (!arg.atEnd())
            list << plainDBusValue(arg.asVariant());
        arg.endStructure();
        return list;
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        arg.beginMap();
        while (!arg.atEnd()) {
            arg.beginMapEntry();
            const QVariant key = plainDBusValue(arg.asVariant());
            const QVariant value = plainDBusValue(arg.asVariant());
            arg.endMapEntry();
            map.insert(key.toString(), value);
        }
        arg.endMap();
        return map;
    }
    case QDBusArgument::MapEntryType:
    case QDBusArgument::UnknownType:
        break;
    }
    return {};
}

bool isBlank(const QString &s) { return s.trimmed().isEmpty(); }

// A text from `s`, `o`, `as` or `av`; lists are joined, empty entries dropped.
std::optional<QString> textFrom(const QVariant &value)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<QString>()) {
        const QString s = value.toString();
        return isBlank(s) ? std::nullopt : std::optional(s);
    }
    if (type == QMetaType::fromType<QStringList>() || type == QMetaType::fromType<QVariantList>()) {
        QStringList parts;
        for (const QVariant &item : value.toList()) {
            if (item.metaType() != QMetaType::fromType<QString>())
                continue;
            const QString s = item.toString();
            if (!isBlank(s))
                parts << s;
        }
        if (parts.isEmpty())
            return std::nullopt;
        return parts.join(QStringLiteral(", "));
    }
    return std::nullopt;
}

std::optional<QString> pathFrom(const QVariant &value)
{
    QString s;
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        s = value.value<QDBusObjectPath>().path();
    else if (value.metaType() == QMetaType::fromType<QString>())
        s = value.toString();
    if (s.isEmpty())
        return std::nullopt;
    return s;
}

} // namespace

QVariant plainDBusValue(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return plainDBusValue(value.value<QDBusVariant>().variant());
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return readArgument(value.value<QDBusArgument>());
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = plainDBusValue(it.value());
        return map;
    }
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        QVariantList list = value.toList();
        for (QVariant &item : list)
            item = plainDBusValue(item);
        return list;
    }
    return value;
}

std::optional<qint64> microsecondsFrom(const QVariant &raw)
{
    const QVariant value = plainDBusValue(raw);
    switch (value.metaType().id()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long: {
        const qint64 v = value.toLongLong();
        return v >= 0 ? std::optional(v) : std::nullopt;
    }
    case QMetaType::ULongLong:
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::UChar: {
        const quint64 v = value.toULongLong();
        if (v > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(v);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = value.toDouble();
        // 9.2e18 is the last double below 2^63 that an int64 holds.
        if (!std::isfinite(v) || v < 0 || v >= 9.2e18)
            return std::nullopt;
        return qint64(std::llround(v));
    }
    default:
        return std::nullopt;
    }
}

TrackInfo parseMetadata(const QVariantMap &raw)
{
    const QVariant plain = plainDBusValue(raw);
    const QVariantMap metadata = plain.toMap();
    TrackInfo t;
    t.title = textFrom(metadata.value(QStringLiteral("xesam:title")));
    t.artist = textFrom(metadata.value(QStringLiteral("xesam:artist")));
    if (!t.artist)
        t.artist = textFrom(metadata.value(QStringLiteral("xesam:albumArtist")));
    t.album = textFrom(metadata.value(QStringLiteral("xesam:album")));
    if (const auto length = microsecondsFrom(metadata.value(QStringLiteral("mpris:length"))); length && *length > 0)
        t.lengthUs = length;
    t.trackId = pathFrom(metadata.value(QStringLiteral("mpris:trackid")));
    if (const QVariant art = metadata.value(QStringLiteral("mpris:artUrl")); art.metaType() == QMetaType::fromType<QString>()) {
        const QString url = art.toString().trimmed();
        if (!url.isEmpty())
            t.artUrl = url;
    }
    return t;
}

bool TrackInfo::isOtherTrackThan(const TrackInfo &other) const
{
    if (trackId || other.trackId)
        return trackId != other.trackId;
    return title != other.title || artist != other.artist || album != other.album;
}

} // namespace tavrenhold::adapter
