// labels: dbus
// The MPRIS notification centre and the workspace's running check on a private session bus, against
// stand-in players that the test puts on the bus and drives itself.
#include "nowplaying/PlayerBroadcast.h"
#include "nowplaying/PlayerCatalog.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>

using namespace tavrenhold;

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kSpotifyName = QStringLiteral("org.mpris.MediaPlayer2.spotify");
const QString kMusicName = QStringLiteral("org.mpris.MediaPlayer2.standin");

// An MPRIS player object that answers GetAll of its Player properties and sends the signals the
// test asks for, on its own connection.
class StandInPlayer final : public QDBusVirtualObject {
public:
    StandInPlayer(const QString &address, const QString &connectionName)
        : m_connection(QDBusConnection::connectToBus(address, connectionName))
    {
        m_connection.registerVirtualObject(kPath, this);
        properties = {{"PlaybackStatus", "Playing"}, {"Metadata", metadata("/track/1", "First")}, {"Volume", 1.0}};
    }
    ~StandInPlayer() override
    {
        m_connection.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(m_connection.name());
    }

    static QVariantMap metadata(const QString &trackID, const QString &title)
    {
        return {{"mpris:trackid", QVariant::fromValue(QDBusObjectPath(trackID))},
                {"mpris:length", qlonglong(180'000'000)},
                {"xesam:title", title},
                {"xesam:artist", QStringList{"Stand-in"}},
                {"xesam:album", "Tones"}};
    }

    bool own(const QString &name) { return m_connection.registerService(name); }
    bool release(const QString &name) { return m_connection.unregisterService(name); }

    void changed(const QVariantMap &changes)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changes << QStringList();
        m_connection.send(signal);
    }
    void seeked(qint64 us)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Seeked"));
        signal << us;
        m_connection.send(signal);
    }

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.interface() != QLatin1String("org.freedesktop.DBus.Properties")
            || message.member() != QLatin1String("GetAll"))
            return false;
        ++getAllCalls;
        connection.send(message.createReply(QVariant::fromValue(properties)));
        return true;
    }

    QVariantMap properties;
    int getAllCalls = 0;

private:
    QDBusConnection m_connection;
};

} // namespace

class BroadcastBusTest : public QObject {
    Q_OBJECT

    QProcess m_bus;
    QString m_address;
    std::unique_ptr<MprisNotificationCenter> m_center;
    QList<PlayerBroadcast> m_handled;
    int m_lifecycles = 0;
    std::unique_ptr<PlayerBroadcastBridge> m_bridge;
    std::vector<std::unique_ptr<StandInPlayer>> m_players;
    int m_playerCount = 0;

    StandInPlayer *player()
    {
        m_players.push_back(
            std::make_unique<StandInPlayer>(m_address, QStringLiteral("standin-%1").arg(++m_playerCount)));
        return m_players.back().get();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A bus of our own, named the session bus before anything connects to one.
        m_bus.setStandardErrorFile(QProcess::nullDevice());
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY2(m_bus.waitForStarted(5000), "dbus-daemon is missing (scripts/bootstrap installs it)");
        QVERIFY(QTest::qWaitFor([&] { return m_bus.canReadLine(); }, 5000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        qputenv("TAVRENHOLD_MUSIC_MPRIS_NAME", kMusicName.toUtf8());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    void cleanupTestCase()
    {
        m_bridge.reset();
        m_center.reset();
        m_bus.terminate();
        m_bus.waitForFinished(3000);
    }

    void init()
    {
        m_handled.clear();
        m_lifecycles = 0;
        m_center = std::make_unique<MprisNotificationCenter>(QDBusConnection::sessionBus());
        m_bridge = std::make_unique<PlayerBroadcastBridge>([this](const PlayerBroadcast &b) { m_handled << b; },
                                                           [this] { ++m_lifecycles; }, *m_center);
    }

    // The players leave while this test's bridge still listens, so that their departure cannot reach
    // the next test's.
    void cleanup()
    {
        m_players.clear();
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        for (const QString &name : {kSpotifyName, kMusicName, QStringLiteral("org.mpris.MediaPlayer2.vlc")})
            QTRY_VERIFY(!bus->isServiceRegistered(name).value());
        QTest::qWait(20);
        m_bridge.reset();
        m_center.reset();
    }

    // A player already running when the bridge subscribes is read once; each change of its status
    // or track, and each seek, then arrives with its whole state.
    void deliversARunningPlayersChanges()
    {
        StandInPlayer *spotify = player();
        QVERIFY(spotify->own(kSpotifyName));
        m_bridge->subscribe();
        QTRY_COMPARE(spotify->getAllCalls, 1);

        spotify->changed({{"PlaybackStatus", "Paused"}});
        QTRY_COMPARE(m_handled.size(), 1);
        const PlayerBroadcast paused = m_handled.last();
        QCOMPARE(paused.kind, PlayerKind::spotify);
        QCOMPARE(paused.status, PlaybackStatus::paused);
        QCOMPARE(paused.title, QStringLiteral("First"));
        QCOMPARE(paused.artist, QStringLiteral("Stand-in"));
        QCOMPARE(paused.trackID, QStringLiteral("/track/1"));
        QCOMPARE(paused.duration, 180.0);
        QCOMPARE(paused.position, std::optional<double>());

        // A volume change is no news; the seek after it is, and keeps the paused status.
        spotify->changed({{"Volume", 0.4}});
        spotify->seeked(30'000'000);
        QTRY_COMPARE(m_handled.size(), 2);
        QCOMPARE(m_handled.last().position, 30.0);
        QCOMPARE(m_handled.last().status, PlaybackStatus::paused);

        spotify->changed({{"Metadata", StandInPlayer::metadata("/track/2", "Second")},
                          {"PlaybackStatus", "Playing"}});
        QTRY_COMPARE(m_handled.size(), 3);
        QCOMPARE(m_handled.last().title, QStringLiteral("Second"));
        QCOMPARE(m_handled.last().trackID, QStringLiteral("/track/2"));
        QCOMPARE(m_handled.last().status, PlaybackStatus::playing);
        QCOMPARE(m_lifecycles, 0);
        QCOMPARE(spotify->getAllCalls, 1);
    }

    // Launches and quits of the known players are lifecycle events (the Music stand-in is the player
    // TAVRENHOLD_MUSIC_MPRIS_NAME names); other MPRIS players' are not, and their signals are ignored.
    void followsKnownPlayersComingAndGoing()
    {
        m_bridge->subscribe();
        StandInPlayer *other = player();
        QVERIFY(other->own(QStringLiteral("org.mpris.MediaPlayer2.vlc")));
        other->changed({{"PlaybackStatus", "Paused"}});

        StandInPlayer *music = player();
        QVERIFY(music->own(kMusicName));
        QTRY_COMPARE(m_lifecycles, 1);
        QTRY_COMPARE(music->getAllCalls, 1);
        QVERIFY(PlayerWorkspace::shared().isRunning(QStringLiteral("com.apple.Music")));
        QVERIFY(!PlayerWorkspace::shared().isRunning(QStringLiteral("com.spotify.client")));

        music->changed({{"PlaybackStatus", "Paused"}});
        QTRY_COMPARE(m_handled.size(), 1);
        QCOMPARE(m_handled.last().kind, PlayerKind::appleMusic);
        QCOMPARE(m_handled.last().title, QStringLiteral("First"));

        QVERIFY(music->release(kMusicName));
        QTRY_COMPARE(m_lifecycles, 2);
        QVERIFY(!PlayerWorkspace::shared().isRunning(QStringLiteral("com.apple.Music")));
        QVERIFY(other->release(QStringLiteral("org.mpris.MediaPlayer2.vlc")));
        QTest::qWait(100);
        QCOMPARE(m_lifecycles, 2);
        QCOMPARE(m_handled.size(), 1);
    }

    void unsubscribedHearsNothing()
    {
        StandInPlayer *spotify = player();
        QVERIFY(spotify->own(kSpotifyName));
        m_bridge->subscribe();
        QTRY_COMPARE(spotify->getAllCalls, 1);
        m_bridge->unsubscribe();
        spotify->changed({{"PlaybackStatus", "Paused"}});
        QVERIFY(spotify->release(kSpotifyName));
        QTest::qWait(150);
        QVERIFY(m_handled.isEmpty());
        QCOMPARE(m_lifecycles, 0);
    }
};

QTEST_GUILESS_MAIN(BroadcastBusTest)
#include "tst_broadcastbus.moc"
