// labels: unit
// Player notifications read into broadcast records, MPRIS properties turned into such notifications,
// and the bridge's subscription and filtering.
#include "nowplaying/PlayerBroadcast.h"

#include <QDBusObjectPath>
#include <QTest>

#include <limits>

Q_DECLARE_METATYPE(tavrenhold::PlayerKind)
Q_DECLARE_METATYPE(std::optional<tavrenhold::PlayerBroadcast>)
Q_DECLARE_METATYPE(std::optional<QVariantMap>)

using namespace tavrenhold;

namespace {

PlayerBroadcast broadcast(PlayerKind kind, PlaybackStatus status)
{
    PlayerBroadcast b;
    b.kind = kind;
    b.status = status;
    return b;
}

} // namespace

class BroadcastTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsANotification_data()
    {
        QTest::addColumn<PlayerKind>("kind");
        QTest::addColumn<std::optional<QVariantMap>>("info");
        QTest::addColumn<std::optional<PlayerBroadcast>>("expected");

        PlayerBroadcast spotify = broadcast(PlayerKind::spotify, PlaybackStatus::playing);
        spotify.title = QStringLiteral("Song");
        spotify.artist = QStringLiteral("Artist");
        spotify.album = QStringLiteral("Album");
        spotify.trackID = QStringLiteral("spotify:track:1");
        spotify.duration = 215;
        spotify.position = 12.5;
        QTest::newRow("Spotify playing")
            << PlayerKind::spotify
            << std::optional<QVariantMap>({{"Player State", "Playing"},
                                           {"Name", "Song"},
                                           {"Artist", "Artist"},
                                           {"Album", "Album"},
                                           {"Track ID", "spotify:track:1"},
                                           {"Duration", 215000},
                                           {"Playback Position", 12.5}})
            << std::optional(spotify);

        PlayerBroadcast music = broadcast(PlayerKind::appleMusic, PlaybackStatus::paused);
        music.duration = 180;
        QTest::newRow("Music's total time")
            << PlayerKind::appleMusic
            << std::optional<QVariantMap>({{"Player State", "Paused"}, {"Total Time", 180000}}) << std::optional(music);

        QTest::newRow("a Duration of 0 hides the total time")
            << PlayerKind::appleMusic
            << std::optional<QVariantMap>({{"Player State", "paused"}, {"Duration", 0}, {"Total Time", 180000}})
            << std::optional(broadcast(PlayerKind::appleMusic, PlaybackStatus::paused));

        QTest::newRow("stopped") << PlayerKind::spotify << std::optional<QVariantMap>({{"Player State", "Stopped"}})
                                 << std::optional(broadcast(PlayerKind::spotify, PlaybackStatus::stopped));
        QTest::newRow("no state") << PlayerKind::spotify << std::optional<QVariantMap>(QVariantMap{})
                                  << std::optional(broadcast(PlayerKind::spotify, PlaybackStatus::stopped));
        QTest::newRow("a state that is no text")
            << PlayerKind::spotify << std::optional<QVariantMap>({{"Player State", 1}})
            << std::optional(broadcast(PlayerKind::spotify, PlaybackStatus::stopped));

        PlayerBroadcast persistent = broadcast(PlayerKind::appleMusic, PlaybackStatus::playing);
        persistent.trackID = QStringLiteral("1234567890123");
        QTest::newRow("a numeric PersistentID")
            << PlayerKind::appleMusic
            << std::optional<QVariantMap>({{"Player State", "PLAYING"}, {"PersistentID", qlonglong(1234567890123)}})
            << std::optional(persistent);

        PlayerBroadcast typed = broadcast(PlayerKind::spotify, PlaybackStatus::paused);
        QTest::newRow("values of the wrong type are left out")
            << PlayerKind::spotify
            << std::optional<QVariantMap>({{"Player State", "Paused"},
                                           {"Name", 7},
                                           {"Artist", QStringList{"A"}},
                                           {"Duration", "215000"},
                                           {"Playback Position", "3"}})
            << std::optional(typed);

        QTest::newRow("numbers that are not finite")
            << PlayerKind::spotify
            << std::optional<QVariantMap>({{"Player State", "Paused"},
                                           {"Duration", std::numeric_limits<double>::infinity()},
                                           {"Playback Position", std::numeric_limits<double>::quiet_NaN()}})
            << std::optional(typed);

        QTest::newRow("no information") << PlayerKind::spotify << std::optional<QVariantMap>()
                                        << std::optional<PlayerBroadcast>();
    }
    void readsANotification()
    {
        QFETCH(PlayerKind, kind);
        QFETCH(std::optional<QVariantMap>, info);
        QFETCH(std::optional<PlayerBroadcast>, expected);
        const auto read = PlayerBroadcast::from(kind, info);
        QCOMPARE(read.has_value(), expected.has_value());
        if (!read)
            return;
        QCOMPARE(read->kind, expected->kind);
        QCOMPARE(read->status, expected->status);
        QCOMPARE(read->title, expected->title);
        QCOMPARE(read->artist, expected->artist);
        QCOMPARE(read->album, expected->album);
        QCOMPARE(read->trackID, expected->trackID);
        QCOMPARE(read->duration, expected->duration);
        QCOMPARE(read->position, expected->position);
    }

    // What an MPRIS player's properties say reads back as the same broadcast.
    void mprisPropertiesBecomeNotifications()
    {
        const QVariantMap metadata{{"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/com/spotify/track/42"))},
                                   {"mpris:length", qlonglong(215'000'000)},
                                   {"xesam:title", "Song"},
                                   {"xesam:artist", QStringList{"One", "Two"}},
                                   {"xesam:album", "Album"}};
        const QVariantMap properties{{"PlaybackStatus", "Playing"}, {"Metadata", metadata}, {"Volume", 0.5}};

        const QVariantMap info = MprisNotificationCenter::userInfo(properties, qint64(12'500'000));
        const auto read = PlayerBroadcast::from(PlayerKind::spotify, info);
        QVERIFY(read);
        QCOMPARE(read->status, PlaybackStatus::playing);
        QCOMPARE(read->trackID, QStringLiteral("/com/spotify/track/42"));
        QCOMPARE(read->title, QStringLiteral("Song"));
        QCOMPARE(read->artist, QStringLiteral("One, Two"));
        QCOMPARE(read->album, QStringLiteral("Album"));
        QCOMPARE(read->duration, 215.0);
        QCOMPARE(read->position, 12.5);

        // Without a position, and with a player that has no track.
        const auto bare = PlayerBroadcast::from(PlayerKind::appleMusic,
                                                MprisNotificationCenter::userInfo({{"PlaybackStatus", "Stopped"}}, {}));
        QCOMPARE(bare->status, PlaybackStatus::stopped);
        QCOMPARE(bare->title, std::optional<QString>());
        QCOMPARE(bare->position, std::optional<double>());
        QCOMPARE(bare->duration, std::optional<double>());
    }

    void bridgeHandsOnThePlayersNotifications()
    {
        PlayerNotificationCenter center;
        QList<PlayerBroadcast> handled;
        int lifecycles = 0;
        PlayerBroadcastBridge bridge([&](const PlayerBroadcast &b) { handled << b; }, [&] { ++lifecycles; }, center);

        // Nothing before subscribing.
        Q_EMIT center.notificationPosted(QStringLiteral("com.spotify.client.PlaybackStateChanged"),
                                         QVariantMap{{"Player State", "Playing"}});
        Q_EMIT center.applicationLaunched(QStringLiteral("com.spotify.client"));
        QVERIFY(handled.isEmpty());
        QCOMPARE(lifecycles, 0);

        bridge.subscribe();
        bridge.subscribe(); // registers once
        QCOMPARE(center.observerCount(), 1);

        Q_EMIT center.notificationPosted(QStringLiteral("com.spotify.client.PlaybackStateChanged"),
                                         QVariantMap{{"Player State", "Playing"}});
        Q_EMIT center.notificationPosted(QStringLiteral("com.apple.iTunes.playerInfo"),
                                         QVariantMap{{"Player State", "Paused"}});
        Q_EMIT center.notificationPosted(QStringLiteral("com.apple.iTunes.playerInfo"), std::nullopt);
        Q_EMIT center.notificationPosted(QStringLiteral("org.videolan.vlc.PlaybackStateChanged"),
                                         QVariantMap{{"Player State", "Playing"}});
        QCOMPARE(handled.size(), 2);
        QCOMPARE(handled.at(0).kind, PlayerKind::spotify);
        QCOMPARE(handled.at(0).status, PlaybackStatus::playing);
        QCOMPARE(handled.at(1).kind, PlayerKind::appleMusic);
        QCOMPARE(handled.at(1).status, PlaybackStatus::paused);

        Q_EMIT center.applicationLaunched(QStringLiteral("com.spotify.client"));
        Q_EMIT center.applicationTerminated(QStringLiteral("com.apple.Music"));
        Q_EMIT center.applicationLaunched(QStringLiteral("com.apple.music"));
        Q_EMIT center.applicationTerminated(QStringLiteral("mpv"));
        QCOMPARE(lifecycles, 2);

        bridge.unsubscribe();
        bridge.unsubscribe(); // removes once
        QCOMPARE(center.observerCount(), 0);
        Q_EMIT center.notificationPosted(QStringLiteral("com.spotify.client.PlaybackStateChanged"),
                                         QVariantMap{{"Player State", "Playing"}});
        Q_EMIT center.applicationLaunched(QStringLiteral("com.spotify.client"));
        QCOMPARE(handled.size(), 2);
        QCOMPARE(lifecycles, 2);

        // Another bridge keeps the centre delivering while the first comes and goes.
        PlayerBroadcastBridge other([](const PlayerBroadcast &) {}, [] {}, center);
        other.subscribe();
        bridge.subscribe();
        bridge.unsubscribe();
        QCOMPARE(center.observerCount(), 1);
    }
};

QTEST_GUILESS_MAIN(BroadcastTest)
#include "tst_broadcast.moc"
