#pragma once

#include "NowPlayingModels.h"
#include "PlayerKind.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <map>
#include <optional>

namespace tavrenhold {

// One player's notification about its playback, read from the notification's information.
struct PlayerBroadcast {
    PlayerKind kind = PlayerKind::spotify;
    PlaybackStatus status = PlaybackStatus::stopped;
    std::optional<QString> title;
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<QString> trackID;
    std::optional<double> duration; // seconds
    std::optional<double> position; // seconds

    // Reads a notification's information; none only when the notification came without any.
    //   status   "Player State" text, lower-cased: "playing" / "paused"; anything else, a value that
    //            is no text, or none gives stopped
    //   title, artist, album   "Name", "Artist", "Album" when they are texts
    //   trackID  "Track ID" when it is a text, else "PersistentID" of any type as text
    //   duration "Duration" when it is a number, else "Total Time"; milliseconds, kept only above 0
    //   position "Playback Position" when it is a number, seconds
    // A number that is not finite counts as no number.
    [[nodiscard]] static std::optional<PlayerBroadcast> from(PlayerKind kind, const std::optional<QVariantMap> &userInfo);

    bool operator==(const PlayerBroadcast &) const = default;
};

// What the broadcast bridge hands the Apple Events source: a player's notification, or the bare
// news that a known player was launched or has quit.
struct PlayerEvent {
    enum class Kind { broadcast, lifecycle };
    Kind kind = Kind::lifecycle;
    std::optional<PlayerBroadcast> broadcast; // only for broadcast

    [[nodiscard]] static PlayerEvent fromBroadcast(PlayerBroadcast b) { return {Kind::broadcast, std::move(b)}; }
    [[nodiscard]] static PlayerEvent lifecycle() { return {Kind::lifecycle, std::nullopt}; }

    bool operator==(const PlayerEvent &) const = default;
};

// Where the players' notifications and the applications' launches and terminations come from.
// Delivery runs while at least one observer is registered; each observer counts once.
class PlayerNotificationCenter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~PlayerNotificationCenter() override = default;

    // Spotify's and Music's notification names.
    static constexpr QStringView spotifyNotification = u"com.spotify.client.PlaybackStateChanged";
    static constexpr QStringView musicNotification = u"com.apple.iTunes.playerInfo";
    [[nodiscard]] static QString notificationName(PlayerKind kind);

    void addObserver(const QObject *observer);
    void removeObserver(const QObject *observer);
    [[nodiscard]] int observerCount() const { return int(m_observers.size()); }

    // The players on the session bus, made on first use and kept for the run.
    [[nodiscard]] static PlayerNotificationCenter &shared();
    // Points shared() at another centre (tests); nullptr goes back to the real one.
    static void setShared(PlayerNotificationCenter *center);

Q_SIGNALS:
    // A player's notification: its name and its information (none when it came without).
    void notificationPosted(const QString &name, const std::optional<QVariantMap> &userInfo);
    // An application with this bundle identifier was launched, or has quit.
    void applicationLaunched(const QString &bundleID);
    void applicationTerminated(const QString &bundleID);

protected:
    virtual void startDelivering() {}
    virtual void stopDelivering() {}

private:
    QList<const QObject *> m_observers;
};

// The notification centre of the MPRIS players on a bus. The players' NameOwnerChanged are the
// launches and terminations (Qt's service watcher ignores wildcards, so the MPRIS prefix is filtered
// here); the PropertiesChanged that carry a new status or track, and every Seeked, become the player's
// notification, with its full state (kept from a first reading and every change) as information.
class MprisNotificationCenter final : public PlayerNotificationCenter {
    Q_OBJECT
public:
    // Every call to the bus or a player waits at most this long (a hung player would hold it 25 s).
    static constexpr int callTimeoutMs = 2000;

    explicit MprisNotificationCenter(QDBusConnection bus, QObject *parent = nullptr);
    ~MprisNotificationCenter() override;

    // A player's MPRIS properties (PlaybackStatus, Metadata) as a notification's information:
    // "Player State" the status, "Name" xesam:title, "Artist" xesam:artist (joined by ", "),
    // "Album" xesam:album, "Track ID" mpris:trackid, "Duration" mpris:length in milliseconds, and
    // "Playback Position" in seconds when a position is given (microseconds).
    [[nodiscard]] static QVariantMap userInfo(const QVariantMap &properties, std::optional<qint64> positionUs);

protected:
    void startDelivering() override;
    void stopDelivering() override;

private Q_SLOTS:
    void onNameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);
    void onPropertiesChanged(const QDBusMessage &message);
    void onSeeked(const QDBusMessage &message);

private:
    struct Player {
        PlayerKind kind = PlayerKind::spotify;
        QVariantMap properties;
        bool seeding = false;
        bool postWhenSeeded = false;
        std::optional<qint64> pendingPosition;
    };
    QCoro::Task<> lookUpOwners(quint64 generation);
    QCoro::Task<> seed(QString owner, quint64 generation);
    void track(const QString &owner, PlayerKind kind);
    void postOrSeed(const QString &owner, std::optional<qint64> positionUs);
    void post(const Player &player, std::optional<qint64> positionUs);

    QDBusConnection m_bus;
    std::map<QString, Player> m_players; // by unique connection name
    quint64 m_generation = 0;            // moves on at every start and stop of delivery
    bool m_delivering = false;
};

// Listens to Spotify's and Music's notifications and to the launches and terminations of
// applications, and hands them on: each player notification read into a PlayerBroadcast to
// `handler`, each launch or termination of a known player to `lifecycle`. Main thread only.
class PlayerBroadcastBridge final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const PlayerBroadcast &)>;
    using Lifecycle = std::function<void()>;

    // The centre must outlive the bridge.
    PlayerBroadcastBridge(Handler handler, Lifecycle lifecycle,
                          PlayerNotificationCenter &center = PlayerNotificationCenter::shared(),
                          QObject *parent = nullptr);
    ~PlayerBroadcastBridge() override;

    // Starts observing; nothing when already subscribed.
    void subscribe();
    // Stops observing; nothing when not subscribed.
    void unsubscribe();
    [[nodiscard]] bool isSubscribed() const { return m_subscribed; }

    // A notification arrived: one of the two players' names is read and handed on; others are ignored.
    void received(const QString &name, const std::optional<QVariantMap> &userInfo);
    // An application was launched or has quit: a known player's bundle identifier calls lifecycle.
    void appLifecycle(const std::optional<QString> &bundleID);

private:
    Handler m_handler;
    Lifecycle m_lifecycle;
    QPointer<PlayerNotificationCenter> m_center;
    bool m_subscribed = false;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace tavrenhold
