#include "PlayerBroadcast.h"

#include "PlayerCatalog.h"

#include <QCoroDBusPendingCall>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMetaType>

#include <cmath>

namespace tavrenhold {

namespace {

PlayerNotificationCenter *g_sharedCenter = nullptr;

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kMprisPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kStatusKey = QStringLiteral("PlaybackStatus");
const QString kMetadataKey = QStringLiteral("Metadata");

bool isString(const QVariant &value) { return value.metaType() == QMetaType::fromType<QString>(); }

// A finite number held as a number (not a text or a truth value).
std::optional<double> numberFrom(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number))
            return std::nullopt;
        return number;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> textFrom(const QVariantMap &info, const QString &key)
{
    const auto it = info.find(key);
    if (it == info.end() || !isString(*it))
        return std::nullopt;
    return it->toString();
}

// Any value as text: integral numbers by their decimal digits.
std::optional<QString> describe(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    if (const auto number = numberFrom(value); number && std::trunc(*number) == *number && std::abs(*number) < 1e18)
        return QString::number(qint64(*number));
    if (value.canConvert<QString>())
        return value.toString();
    return std::nullopt;
}

// A D-Bus value with its wrappers (variants, marshalled arguments) unwrapped into plain Qt values:
// a{sv} gives a QVariantMap, arrays give a QVariantList, object paths stay QDBusObjectPath.
QVariant plainValue(const QVariant &value);

QVariant readArgument(const QDBusArgument &arg)
{
    switch (arg.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return plainValue(arg.asVariant());
    case QDBusArgument::ArrayType: {
        QVariantList list;
        arg.beginArray();
        while (!arg.atEnd())
            list << plainValue(arg.asVariant());
        arg.endArray();
        return list;
    }
    case QDBusArgument::StructureType: {
        QVariantList list;
        arg.beginStructure();
        while (!arg.atEnd())
            list << plainValue(arg.asVariant());
        arg.endStructure();
        return list;
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        arg.beginMap();
        while (!arg.atEnd()) {
            arg.beginMapEntry();
            const QVariant key = plainValue(arg.asVariant());
            const QVariant entry = plainValue(arg.asVariant());
            arg.endMapEntry();
            map.insert(key.toString(), entry);
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

QVariant plainValue(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return plainValue(value.value<QDBusVariant>().variant());
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return readArgument(value.value<QDBusArgument>());
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = plainValue(it.value());
        return map;
    }
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        QVariantList list = value.toList();
        for (QVariant &item : list)
            item = plainValue(item);
        return list;
    }
    return value;
}

// xesam lists ("as") joined by ", "; a plain text as it is.
std::optional<QString> joinedText(const QVariant &value)
{
    if (isString(value))
        return value.toString();
    if (value.metaType() == QMetaType::fromType<QStringList>())
        return value.toStringList().join(QStringLiteral(", "));
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        QStringList parts;
        for (const QVariant &item : value.toList()) {
            if (isString(item))
                parts << item.toString();
        }
        return parts.join(QStringLiteral(", "));
    }
    return std::nullopt;
}

QDBusMessage busDaemonCall(const QString &method)
{
    return QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, method);
}

QDBusMessage getAllCall(const QString &owner)
{
    QDBusMessage call = QDBusMessage::createMethodCall(owner, kMprisPath, kPropertiesInterface, QStringLiteral("GetAll"));
    call << kPlayerInterface;
    return call;
}

} // namespace

// broadcast records

std::optional<PlayerBroadcast> PlayerBroadcast::from(PlayerKind kind, const std::optional<QVariantMap> &userInfo)
{
    if (!userInfo)
        return std::nullopt;
    const QVariantMap &info = *userInfo;
    PlayerBroadcast b;
    b.kind = kind;

    const QString state = textFrom(info, QStringLiteral("Player State")).value_or(QString()).toLower();
    if (state == QLatin1String("playing"))
        b.status = PlaybackStatus::playing;
    else if (state == QLatin1String("paused"))
        b.status = PlaybackStatus::paused;
    else
        b.status = PlaybackStatus::stopped;

    b.title = textFrom(info, QStringLiteral("Name"));
    b.artist = textFrom(info, QStringLiteral("Artist"));
    b.album = textFrom(info, QStringLiteral("Album"));

    b.trackID = textFrom(info, QStringLiteral("Track ID"));
    if (!b.trackID) {
        if (const auto persistent = info.find(QStringLiteral("PersistentID")); persistent != info.end())
            b.trackID = describe(*persistent);
    }

    // A "Duration" number decides, even a 0; only without one is "Total Time" read.
    std::optional<double> milliseconds = numberFrom(info.value(QStringLiteral("Duration")));
    if (!milliseconds)
        milliseconds = numberFrom(info.value(QStringLiteral("Total Time")));
    if (milliseconds && *milliseconds > 0)
        b.duration = *milliseconds / 1000;

    b.position = numberFrom(info.value(QStringLiteral("Playback Position")));
    return b;
}

// notification centre

QString PlayerNotificationCenter::notificationName(PlayerKind kind)
{
    return (kind == PlayerKind::spotify ? spotifyNotification : musicNotification).toString();
}

void PlayerNotificationCenter::addObserver(const QObject *observer)
{
    if (!observer || m_observers.contains(observer))
        return;
    m_observers << observer;
    if (m_observers.size() == 1)
        startDelivering();
}

void PlayerNotificationCenter::removeObserver(const QObject *observer)
{
    if (!m_observers.removeOne(observer))
        return;
    if (m_observers.isEmpty())
        stopDelivering();
}

PlayerNotificationCenter &PlayerNotificationCenter::shared()
{
    if (g_sharedCenter)
        return *g_sharedCenter;
    // Kept for the whole run, like the session bus connection it listens on.
    static auto *center = new MprisNotificationCenter(QDBusConnection::sessionBus());
    return *center;
}

void PlayerNotificationCenter::setShared(PlayerNotificationCenter *center) { g_sharedCenter = center; }

// MPRIS

MprisNotificationCenter::MprisNotificationCenter(QDBusConnection bus, QObject *parent)
    : PlayerNotificationCenter(parent), m_bus(std::move(bus))
{
}

MprisNotificationCenter::~MprisNotificationCenter()
{
    if (m_delivering)
        stopDelivering();
}

QVariantMap MprisNotificationCenter::userInfo(const QVariantMap &properties, std::optional<qint64> positionUs)
{
    QVariantMap info;
    if (const QVariant status = properties.value(kStatusKey); isString(status))
        info.insert(QStringLiteral("Player State"), status.toString());
    const QVariantMap metadata = properties.value(kMetadataKey).toMap();
    if (const QVariant title = metadata.value(QStringLiteral("xesam:title")); isString(title))
        info.insert(QStringLiteral("Name"), title.toString());
    if (const auto artist = joinedText(metadata.value(QStringLiteral("xesam:artist"))))
        info.insert(QStringLiteral("Artist"), *artist);
    if (const QVariant album = metadata.value(QStringLiteral("xesam:album")); isString(album))
        info.insert(QStringLiteral("Album"), album.toString());
    const QVariant trackID = metadata.value(QStringLiteral("mpris:trackid"));
    if (trackID.metaType() == QMetaType::fromType<QDBusObjectPath>())
        info.insert(QStringLiteral("Track ID"), trackID.value<QDBusObjectPath>().path());
    else if (isString(trackID))
        info.insert(QStringLiteral("Track ID"), trackID.toString());
    if (const auto length = numberFrom(metadata.value(QStringLiteral("mpris:length"))))
        info.insert(QStringLiteral("Duration"), *length / 1000);
    if (positionUs)
        info.insert(QStringLiteral("Playback Position"), double(*positionUs) / 1e6);
    return info;
}

void MprisNotificationCenter::startDelivering()
{
    if (m_delivering)
        return;
    m_delivering = true;
    ++m_generation;
    m_bus.connect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
                  SLOT(onNameOwnerChanged(QString, QString, QString)));
    m_bus.connect(QString(), kMprisPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QDBusMessage)));
    m_bus.connect(QString(), kMprisPath, kPlayerInterface, QStringLiteral("Seeked"), this, SLOT(onSeeked(QDBusMessage)));
    lookUpOwners(m_generation);
}

void MprisNotificationCenter::stopDelivering()
{
    if (!m_delivering)
        return;
    m_delivering = false;
    ++m_generation;
    m_bus.disconnect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
                     SLOT(onNameOwnerChanged(QString, QString, QString)));
    m_bus.disconnect(QString(), kMprisPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                     SLOT(onPropertiesChanged(QDBusMessage)));
    m_bus.disconnect(QString(), kMprisPath, kPlayerInterface, QStringLiteral("Seeked"), this,
                     SLOT(onSeeked(QDBusMessage)));
    m_players.clear();
}

QCoro::Task<> MprisNotificationCenter::lookUpOwners(quint64 generation)
{
    QPointer<MprisNotificationCenter> self(this);
    for (const PlayerKind kind : allPlayerKinds) {
        const auto name = PlayerCatalog::mprisName(kind);
        if (!name)
            continue;
        QDBusMessage ask = busDaemonCall(QStringLiteral("GetNameOwner"));
        ask << *name;
        const QDBusPendingCall call = m_bus.asyncCall(ask, callTimeoutMs);
        const QDBusMessage reply = co_await call;
        if (!self || generation != m_generation)
            co_return;
        if (reply.type() != QDBusMessage::ReplyMessage)
            continue; // not running now; its launch will be seen
        const QString owner = reply.arguments().value(0).toString();
        if (!owner.isEmpty() && !m_players.contains(owner))
            track(owner, kind);
    }
}

void MprisNotificationCenter::track(const QString &owner, PlayerKind kind)
{
    Player player;
    player.kind = kind;
    m_players[owner] = player;
    seed(owner, m_generation);
}

QCoro::Task<> MprisNotificationCenter::seed(QString owner, quint64 generation)
{
    QPointer<MprisNotificationCenter> self(this);
    const auto found = m_players.find(owner);
    if (found == m_players.end() || found->second.seeding)
        co_return;
    found->second.seeding = true;
    const QDBusPendingCall call = m_bus.asyncCall(getAllCall(owner), callTimeoutMs);
    const QDBusMessage reply = co_await call;
    if (!self || generation != m_generation)
        co_return;
    const auto it = m_players.find(owner);
    if (it == m_players.end())
        co_return; // gone meanwhile
    Player &player = it->second;
    player.seeding = false;
    if (reply.type() != QDBusMessage::ReplyMessage)
        co_return; // a later change tries again
    // The reply was sent after any change that arrived before it, so it is the newer news.
    const QVariantMap fetched = plainValue(reply.arguments().value(0)).toMap();
    for (auto p = fetched.begin(); p != fetched.end(); ++p)
        player.properties.insert(p.key(), p.value());
    if (std::exchange(player.postWhenSeeded, false))
        post(player, std::exchange(player.pendingPosition, std::nullopt));
}

void MprisNotificationCenter::postOrSeed(const QString &owner, std::optional<qint64> positionUs)
{
    const auto it = m_players.find(owner);
    if (it == m_players.end())
        return;
    Player &player = it->second;
    // A notification carries the player's whole state: until both its status and its track are
    // known, it waits for the first reading.
    if (player.properties.contains(kStatusKey) && player.properties.contains(kMetadataKey) && !player.seeding) {
        post(player, positionUs);
        return;
    }
    player.postWhenSeeded = true;
    if (positionUs)
        player.pendingPosition = positionUs;
    if (!player.seeding)
        seed(owner, m_generation);
}

void MprisNotificationCenter::post(const Player &player, std::optional<qint64> positionUs)
{
    Q_EMIT notificationPosted(notificationName(player.kind), userInfo(player.properties, positionUs));
}

void MprisNotificationCenter::onNameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner)
{
    if (!m_delivering || !name.startsWith(PlayerCatalog::mprisPrefix))
        return;
    const auto bundleID = PlayerCatalog::bundleIDForMprisName(name);
    if (!bundleID)
        return;
    if (const auto kind = PlayerCatalog::kind(*bundleID)) {
        if (!oldOwner.isEmpty())
            m_players.erase(oldOwner);
        // The first look-up may have found this owner already (unique names are never reused).
        if (!newOwner.isEmpty() && !m_players.contains(newOwner))
            track(newOwner, *kind);
    }
    if (!oldOwner.isEmpty())
        Q_EMIT applicationTerminated(*bundleID);
    if (!newOwner.isEmpty())
        Q_EMIT applicationLaunched(*bundleID);
}

void MprisNotificationCenter::onPropertiesChanged(const QDBusMessage &message)
{
    if (!m_delivering)
        return;
    const QVariantList arguments = message.arguments();
    if (arguments.value(0).toString() != kPlayerInterface)
        return;
    const auto it = m_players.find(message.service());
    if (it == m_players.end())
        return; // not one of the two players
    const QVariantMap changed = plainValue(arguments.value(1)).toMap();
    bool news = false;
    for (const QString &key : {kStatusKey, kMetadataKey}) {
        if (const auto value = changed.find(key); value != changed.end()) {
            it->second.properties.insert(key, *value);
            news = true;
        }
    }
    if (news)
        postOrSeed(message.service(), std::nullopt);
}

void MprisNotificationCenter::onSeeked(const QDBusMessage &message)
{
    if (!m_delivering || !m_players.contains(message.service()))
        return;
    const auto position = numberFrom(plainValue(message.arguments().value(0)));
    if (!position)
        return;
    postOrSeed(message.service(), qint64(*position));
}

// bridge

PlayerBroadcastBridge::PlayerBroadcastBridge(Handler handler, Lifecycle lifecycle, PlayerNotificationCenter &center,
                                             QObject *parent)
    : QObject(parent), m_handler(std::move(handler)), m_lifecycle(std::move(lifecycle)), m_center(&center)
{
}

PlayerBroadcastBridge::~PlayerBroadcastBridge() { unsubscribe(); }

void PlayerBroadcastBridge::subscribe()
{
    if (m_subscribed || !m_center)
        return;
    m_subscribed = true;
    m_connections << connect(m_center, &PlayerNotificationCenter::notificationPosted, this,
                             &PlayerBroadcastBridge::received);
    const auto lifecycle = [this](const QString &bundleID) { appLifecycle(bundleID); };
    m_connections << connect(m_center, &PlayerNotificationCenter::applicationLaunched, this, lifecycle);
    m_connections << connect(m_center, &PlayerNotificationCenter::applicationTerminated, this, lifecycle);
    m_center->addObserver(this);
}

void PlayerBroadcastBridge::unsubscribe()
{
    if (!m_subscribed)
        return;
    m_subscribed = false;
    for (const auto &connection : std::exchange(m_connections, {}))
        disconnect(connection);
    if (m_center)
        m_center->removeObserver(this);
}

void PlayerBroadcastBridge::received(const QString &name, const std::optional<QVariantMap> &userInfo)
{
    std::optional<PlayerKind> kind;
    if (name == PlayerNotificationCenter::spotifyNotification)
        kind = PlayerKind::spotify;
    else if (name == PlayerNotificationCenter::musicNotification)
        kind = PlayerKind::appleMusic;
    if (!kind)
        return;
    const auto broadcast = PlayerBroadcast::from(*kind, userInfo);
    if (broadcast && m_handler)
        m_handler(*broadcast);
}

void PlayerBroadcastBridge::appLifecycle(const std::optional<QString> &bundleID)
{
    if (!bundleID || !PlayerCatalog::kind(*bundleID))
        return;
    if (m_lifecycle)
        m_lifecycle();
}

} // namespace tavrenhold
