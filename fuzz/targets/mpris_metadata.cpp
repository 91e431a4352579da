// The helper's reading of MPRIS players: a player's `Player` properties (with its `Metadata` map) as
// GetAll gives them, then property changes, each turned into the payload line the helper writes.
// Every line must read back in the program's decoder.
//
// The property maps come from JSON, since D-Bus messages cannot be built from raw bytes here. JSON
// texts, doubles, integers, booleans, arrays and objects become QString, double, qint64, bool,
// QVariantList and QVariantMap; a one-key object names another D-Bus type for its value:
// {"@o": "/path"} object path, {"@v": value} variant, {"@as": [...]} string list, {"@i": n} int32,
// {"@u": n} uint32, {"@x": n} int64, {"@t": n} uint64, {"@y": n} byte, {"@n": n} int16.
// The input: {"name": bus name, "desktopEntry": text, "readings": [properties, changes, ...]}; a
// "PolledPosition" in changes is taken as a position the helper polled.
#include "FuzzSupport.h"

#include "Metadata.h"
#include "Mpris.h"
#include "Payload.h"
#include "PlayerState.h"
#include "nowplaying/AdapterPayload.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>
#include <limits>

using namespace tavrenhold;
using namespace tavrenhold::adapter;

namespace {

// A JSON number as an integer of type T: saturated at T's range, 0 for what is not a finite number.
template <typename T>
T integer(const QJsonValue &v)
{
    const double d = v.toDouble();
    if (!std::isfinite(d))
        return 0;
    if (d <= double(std::numeric_limits<T>::lowest()))
        return std::numeric_limits<T>::lowest();
    if (d >= double(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return T(d);
}

QVariant toVariant(const QJsonValue &v, int depth = 0);

// A text as D-Bus carries it: valid UTF-8 without NUL.
QString busText(const QString &s)
{
    QString text = QString::fromUtf8(s.toUtf8());
    text.remove(QChar(0));
    return text;
}

QVariant typed(const QString &tag, const QJsonValue &v, int depth)
{
    if (tag == u"@o")
        return QVariant::fromValue(QDBusObjectPath(busText(v.toString())));
    if (tag == u"@v")
        return QVariant::fromValue(QDBusVariant(toVariant(v, depth + 1)));
    if (tag == u"@as") {
        QStringList list;
        for (const QJsonValue &e : v.toArray())
            list << busText(e.toString());
        return list;
    }
    if (tag == u"@i")
        return QVariant::fromValue(integer<qint32>(v));
    if (tag == u"@u")
        return QVariant::fromValue(integer<quint32>(v));
    if (tag == u"@x")
        return QVariant::fromValue(integer<qint64>(v));
    if (tag == u"@t")
        return QVariant::fromValue(integer<quint64>(v));
    if (tag == u"@y")
        return QVariant::fromValue(integer<uchar>(v));
    if (tag == u"@n")
        return QVariant::fromValue(integer<qint16>(v));
    return {};
}

QVariant toVariant(const QJsonValue &v, int depth)
{
    if (depth > 32)
        return {};
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        if (o.size() == 1 && o.begin().key().startsWith(u'@'))
            return typed(o.begin().key(), o.begin().value(), depth);
        QVariantMap map;
        for (auto it = o.begin(); it != o.end(); ++it)
            map.insert(it.key(), toVariant(it.value(), depth + 1));
        return map;
    }
    if (v.isArray()) {
        QVariantList list;
        for (const QJsonValue &e : v.toArray())
            list << toVariant(e, depth + 1);
        return list;
    }
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 9.0e18)
            return QVariant::fromValue(qint64(d));
        return d;
    }
    if (v.isString())
        return busText(v.toString());
    return v.toVariant();
}

void checkLine(const std::optional<QByteArray> &line, const Payload &payload, bool full)
{
    if (!line)
        return;
    fuzz::check(line->endsWith('\n') && line->count('\n') == 1, "a payload line is not one line");
    static fuzz::FixedClock clock;
    const auto envelope = AdapterDecoder(clock).decodeEnvelope(QByteArrayView(*line).chopped(1));
    fuzz::check(envelope && envelope->type == u"data" && envelope->payload, "the program cannot read a helper line");
    if (full) {
        fuzz::check(envelope->payload->title == payload.title && envelope->payload->artist == payload.artist
                        && envelope->payload->album == payload.album,
                    "the texts of a helper line read back differently");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QJsonDocument doc = QJsonDocument::fromJson(fuzz::bytes(data, size));
    if (!doc.isObject())
        return 0;
    const QJsonObject input = doc.object();
    const QJsonArray readings = input.value(QLatin1String("readings")).toArray();
    if (readings.isEmpty())
        return 0;

    const QString name = busText(input.value(QLatin1String("name")).toString());
    mpris::FetchedPlayer fetched;
    fetched.properties = toVariant(readings.first()).toMap();
    fetched.desktopEntry = busText(input.value(QLatin1String("desktopEntry")).toString());
    fetched.at = fuzz::fixedNow();
    PlayerState player = mpris::stateFrom(name, fetched);

    LineMaker diffLines(true);
    LineMaker fullLines(false);
    auto write = [&](const PlayerState &state) {
        const Payload payload = payloadFor(state, QByteArray("art"));
        checkLine(diffLines.lineFor(payload), payload, false);
        checkLine(fullLines.lineFor(payload), payload, true);
        if (const auto at = state.positionAt(fuzz::fixedNow().addSecs(3600)); at)
            fuzz::check(*at >= 0, "a negative position");
    };
    write(player);

    quint64 event = 1;
    QDateTime now = fuzz::fixedNow();
    for (qsizetype i = 1; i < readings.size(); ++i) {
        now = now.addMSecs(1500);
        const QVariantMap changes = toVariant(readings.at(i)).toMap();
        mpris::applyPlayerProperties(player, changes, now, event);
        if (const auto position = changes.value(QStringLiteral("PolledPosition")); position.isValid()) {
            if (const auto us = microsecondsFrom(position))
                player.applyPolledPosition(*us, now, kPositionToleranceUs);
        }
        write(player);
    }
    const PlayerState players[] = {player, PlayerState{}};
    (void)chooseNowPlaying(players, ChoiceRules{true, true});
    return 0;
}
