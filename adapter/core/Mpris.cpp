#include "Mpris.h"

#include <QCoroDBusPendingCall>
#include <QDBusPendingCall>
#include <QDBusVariant>

#include <algorithm>

namespace tavrenhold::adapter::mpris {

namespace {

QDBusMessage busDaemonCall(const QString &method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

QDBusMessage propertiesCall(const QString &name, const QString &method)
{
    return QDBusMessage::createMethodCall(name, QLatin1String(kPath), QLatin1String(kPropertiesInterface), method);
}

bool answered(const QDBusMessage &reply) { return reply.type() == QDBusMessage::ReplyMessage; }

} // namespace

bool isPlayerName(const QString &busName)
{
    return busName.startsWith(QLatin1String(kPrefix)) && busName.size() > int(qstrlen(kPrefix));
}

bool isPreferredName(const QString &candidate, const QString &current)
{
    if (current.isEmpty())
        return true;
    const bool candidateInstance = candidate.contains(QLatin1String(".instance"));
    const bool currentInstance = current.contains(QLatin1String(".instance"));
    if (candidateInstance != currentInstance)
        return !candidateInstance;
    if (candidate.size() != current.size())
        return candidate.size() < current.size();
    return candidate < current;
}

QCoro::Task<bool> ping(QDBusConnection bus)
{
    if (!bus.isConnected())
        co_return false;
    const QDBusPendingCall call = bus.asyncCall(busDaemonCall(QStringLiteral("ListNames")), kCallTimeoutMs);
    const QDBusMessage reply = co_await call;
    co_return answered(reply);
}

QCoro::Task<std::optional<std::vector<BusPlayer>>> listPlayers(QDBusConnection bus)
{
    if (!bus.isConnected())
        co_return std::nullopt;
    const QDBusPendingCall listing = bus.asyncCall(busDaemonCall(QStringLiteral("ListNames")), kCallTimeoutMs);
    const QDBusMessage reply = co_await listing;
    if (!answered(reply))
        co_return std::nullopt;
    QStringList names = reply.arguments().value(0).toStringList();
    names.erase(std::remove_if(names.begin(), names.end(), [](const QString &n) { return !isPlayerName(n); }),
                names.end());
    names.sort();

    std::vector<QDBusPendingCall> owners;
    owners.reserve(names.size());
    for (const QString &name : names) {
        QDBusMessage msg = busDaemonCall(QStringLiteral("GetNameOwner"));
        msg << name;
        owners.push_back(bus.asyncCall(msg, kCallTimeoutMs));
    }
    std::vector<BusPlayer> players;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QDBusMessage ownerReply = co_await owners[std::size_t(i)];
        if (!answered(ownerReply))
            continue; // gone meanwhile
        const QString owner = ownerReply.arguments().value(0).toString();
        auto same = std::find_if(players.begin(), players.end(), [&](const BusPlayer &p) { return p.owner == owner; });
        if (same == players.end())
            players.push_back({names.at(i), owner});
        else if (isPreferredName(names.at(i), same->name))
            same->name = names.at(i);
    }
    std::sort(players.begin(), players.end(), [](const BusPlayer &a, const BusPlayer &b) { return a.name < b.name; });
    co_return players;
}

bool applyPlayerProperties(PlayerState &player, const QVariantMap &raw, const QDateTime &now, quint64 &event)
{
    const QVariantMap properties = plainDBusValue(raw).toMap();
    bool changed = false;
    // Rate and status first, each fixing the position reached so far; then the track; then the
    // position the player reported with these properties, which is taken as it is.
    if (const auto rate = properties.find(QStringLiteral("Rate")); rate != properties.end()) {
        bool ok = false;
        const double r = rate->toDouble(&ok);
        changed |= player.applyRate(ok ? r : 1.0, now);
    }
    if (const auto status = properties.find(QStringLiteral("PlaybackStatus")); status != properties.end())
        changed |= player.applyStatus(playbackStatusFrom(status->toString()), now, event);
    if (const auto metadata = properties.find(QStringLiteral("Metadata")); metadata != properties.end())
        changed |= player.applyTrack(parseMetadata(metadata->toMap()), now, event);
    if (const auto position = properties.find(QStringLiteral("Position")); position != properties.end()) {
        if (const auto us = microsecondsFrom(*position))
            changed |= player.applySeek(*us, now);
    }
    return changed;
}

QCoro::Task<std::optional<FetchedPlayer>> fetchPlayer(QDBusConnection bus, QString name)
{
    QDBusMessage getAll = propertiesCall(name, QStringLiteral("GetAll"));
    getAll << QString::fromLatin1(kPlayerInterface);
    QDBusMessage getEntry = propertiesCall(name, QStringLiteral("Get"));
    getEntry << QString::fromLatin1(kRootInterface) << QStringLiteral("DesktopEntry");
    const QDBusPendingCall allCall = bus.asyncCall(getAll, kCallTimeoutMs);
    const QDBusPendingCall entryCall = bus.asyncCall(getEntry, kCallTimeoutMs);

    const QDBusMessage all = co_await allCall;
    FetchedPlayer fetched;
    fetched.at = QDateTime::currentDateTimeUtc();
    const QDBusMessage entry = co_await entryCall;
    if (!answered(all))
        co_return std::nullopt;
    fetched.properties = plainDBusValue(all.arguments().value(0)).toMap();
    if (answered(entry))
        fetched.desktopEntry = plainDBusValue(entry.arguments().value(0)).toString();
    co_return fetched;
}

PlayerState stateFrom(const QString &name, const FetchedPlayer &fetched)
{
    PlayerState player;
    player.busName = name;
    player.desktopEntry = fetched.desktopEntry;
    quint64 event = 0;
    applyPlayerProperties(player, fetched.properties, fetched.at, event);
    player.playingSince = player.lastActive = 0;
    return player;
}

QCoro::Task<std::optional<qint64>> fetchPosition(QDBusConnection bus, QString name)
{
    QDBusMessage get = propertiesCall(name, QStringLiteral("Get"));
    get << QString::fromLatin1(kPlayerInterface) << QStringLiteral("Position");
    const QDBusPendingCall call = bus.asyncCall(get, kCallTimeoutMs);
    const QDBusMessage reply = co_await call;
    if (!answered(reply))
        co_return std::nullopt;
    co_return microsecondsFrom(reply.arguments().value(0));
}

QCoro::Task<QDBusMessage> callPlayer(QDBusConnection bus, QString name, QString method, QVariantList args)
{
    QDBusMessage msg = QDBusMessage::createMethodCall(name, QLatin1String(kPath), QLatin1String(kPlayerInterface), method);
    msg.setArguments(args);
    const QDBusPendingCall call = bus.asyncCall(msg, kCallTimeoutMs);
    co_return co_await call;
}

} // namespace tavrenhold::adapter::mpris
