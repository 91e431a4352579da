// labels: mpris dbus
// The MPRIS script host against a player that answers as the test says, on a private session bus
// under Spotify's MPRIS name: Spotify's units (milliseconds) and artwork field, a missing track,
// a refusal, a player that never answers, and what a seek sends.
#include "PrivateBus.h"
#include "peers/FakeSpotify.h"

#include "nowplaying/PlayerScripts.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStandardPaths>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;

namespace {

const QString trackPath = QStringLiteral("/com/spotify/track/4uLU6hMCjMI75M1A2tKUQC");
const QString artURL = QStringLiteral("https://i.scdn.co/image/ab67616d0000b273");

QString spotify(const QString &body) { return PlayerScripts::wrap(body, PlayerKind::spotify); }

} // namespace

class FakeSpotifyTest : public QObject {
    Q_OBJECT

private:
    PrivateBus m_bus;
    QString m_playerConnection;
    FakeSpotify m_player;
    ManualClock m_clock;
    std::unique_ptr<platform::MprisScriptHost> m_host;
    std::unique_ptr<AppleEventRunner> m_runner;

    std::optional<AppleEventResult<QString>> run(const QString &text, bool reuse = true)
    {
        return runToEnd(*m_runner, text, reuse);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty(),
                 "dbus-daemon is missing (scripts/bootstrap installs it)");
    }

    void init()
    {
        const QString tag = QStringLiteral("scripthost-spotify-%1").arg(QLatin1String(QTest::currentTestFunction()));
        QVERIFY(m_bus.start(tag));
        // The player has a connection of its own, as a real one would.
        m_playerConnection = tag + QStringLiteral("-player");
        QDBusConnection player = QDBusConnection::connectToBus(m_bus.address(), m_playerConnection);
        QVERIFY(player.isConnected());
        QVERIFY(m_player.publish(player));

        m_player.mode = FakeSpotify::Mode::answer;
        m_player.status = QStringLiteral("Playing");
        m_player.position = 12'500'000;
        m_player.calls.clear();
        m_player.metadata = QVariantMap{
            {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackPath))},
            {QStringLiteral("mpris:length"), qlonglong(215'000'000)},
            {QStringLiteral("mpris:artUrl"), artURL},
            {QStringLiteral("xesam:title"), QStringLiteral("Song")},
            {QStringLiteral("xesam:artist"), QStringList{QStringLiteral("One"), QStringLiteral("Two")}},
            {QStringLiteral("xesam:album"), QStringLiteral("Record")},
        };

        m_host = std::make_unique<platform::MprisScriptHost>(m_bus.connection(), QString(), clockTimers(m_clock));
        m_runner = std::make_unique<AppleEventRunner>(*m_host);
    }

    void cleanup()
    {
        m_runner.reset();
        m_host.reset();
        QDBusConnection(m_playerConnection).unregisterObject(QStringLiteral("/org/mpris/MediaPlayer2"));
        QDBusConnection::disconnectFromBus(m_playerConnection);
        m_bus.stop();
    }

    void stateScriptAnswersInSpotifyUnits()
    {
        const auto result = run(PlayerScripts::stateScript(PlayerKind::spotify));
        QVERIFY(result && result->ok());
        const QChar us = PlayerScripts::separator;
        QCOMPARE(result->value(), QStringList({QStringLiteral("playing"), trackPath, QStringLiteral("Song"),
                                               QStringLiteral("One, Two"), QStringLiteral("Record"), QStringLiteral("215000"),
                                               QStringLiteral("12.5"), artURL})
                                      .join(us));
        const PlayerSnapshot reading = PlayerScripts::parse(result->value(), PlayerKind::spotify, std::nullopt, m_clock);
        QCOMPARE(reading.status, PlaybackStatus::playing);
        QVERIFY(reading.track);
        QCOMPARE(reading.track->duration, 215.0);
        QCOMPARE(reading.elapsed, 12.5);
        QCOMPARE(reading.track->artworkURL, std::optional<QUrl>(QUrl(artURL)));

        const auto artwork = run(spotify(PlayerScripts::artworkBody()));
        QVERIFY(artwork && artwork->ok());
        QCOMPARE(artwork->value(), artURL);
    }

    void stoppedPlayerAnswersStopped()
    {
        m_player.status = QStringLiteral("Stopped");
        for (const QString &text : {PlayerScripts::stateScript(PlayerKind::spotify), spotify(PlayerScripts::positionBody())}) {
            const auto result = run(text);
            QVERIFY(result && result->ok());
            QCOMPARE(result->value(), QStringLiteral("stopped"));
        }
    }

    // Playing without a current track: the scripts that need the track fail as "no object".
    void noCurrentTrack_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fails");
        QTest::newRow("state") << PlayerScripts::stateScript(PlayerKind::spotify) << true;
        QTest::newRow("artwork") << spotify(PlayerScripts::artworkBody()) << true;
        QTest::newRow("seek") << spotify(PlayerScripts::commandBody(TransportCommand::seek(10))) << true;
        QTest::newRow("position") << spotify(PlayerScripts::positionBody()) << false;
        QTest::newRow("play") << spotify(PlayerScripts::commandBody(TransportCommand::play())) << false;
    }
    void noCurrentTrack()
    {
        QFETCH(QString, text);
        QFETCH(bool, fails);
        for (const QVariantMap &metadata :
             {QVariantMap{}, QVariantMap{{QStringLiteral("mpris:trackid"),
                                          QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")))}}}) {
            m_player.metadata = metadata;
            const auto result = run(text);
            QVERIFY(result);
            QCOMPARE(result->ok(), !fails);
            if (fails)
                QCOMPARE(result->error(), AppleEventFailure::noTrack());
        }
    }

    void refusalIsDenied()
    {
        m_player.mode = FakeSpotify::Mode::deny;
        for (const QString &text : {PlayerScripts::stateScript(PlayerKind::spotify), spotify(QStringLiteral("playpause"))}) {
            const auto result = run(text);
            QVERIFY(result && !result->ok());
            QCOMPARE(result->error(), AppleEventFailure::denied());
        }
    }

    void silentPlayerTimesOutAfterTheScriptsTimeOut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seconds");
        QTest::newRow("state, 8 s") << PlayerScripts::stateScript(PlayerKind::spotify) << 8;
        QTest::newRow("launcher, 3 s") << QStringLiteral("with timeout of 3 seconds\ntell application id \"com.spotify.client\"\n"
                                                         "return player state as text\nend tell\nend timeout")
                                       << 3;
    }
    void silentPlayerTimesOutAfterTheScriptsTimeOut()
    {
        QFETCH(QString, text);
        QFETCH(int, seconds);
        m_player.mode = FakeSpotify::Mode::hang;
        const auto pending = startScript(*m_runner, text);
        QTest::qWait(200);
        m_clock.advance(std::chrono::seconds(seconds) - 1ms);
        QTest::qWait(100);
        QVERIFY(!pending->out);
        m_clock.advance(1ms);
        QVERIFY(QTest::qWaitFor([&] { return pending->out.has_value(); }, 2000));
        QVERIFY(!pending->out->ok());
        QCOMPARE(pending->out->error(), AppleEventFailure::timedOut());
    }

    void seekSendsTheTrackAndMicroseconds_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qlonglong>("micros");
        QTest::newRow("75.25 s") << 75.25 << qlonglong(75'250'000);
        QTest::newRow("below 0") << -3.0 << qlonglong(0);
        QTest::newRow("past the end") << 999.0 << qlonglong(215'000'000);
    }
    void seekSendsTheTrackAndMicroseconds()
    {
        QFETCH(double, seconds);
        QFETCH(qlonglong, micros);
        const auto result = run(spotify(PlayerScripts::commandBody(TransportCommand::seek(seconds))), false);
        QVERIFY(result && result->ok());
        QCOMPARE(m_player.calls.size(), 1);
        const QDBusMessage call = m_player.calls.front();
        QCOMPARE(call.member(), QStringLiteral("SetPosition"));
        QCOMPARE(call.signature(), QStringLiteral("ox"));
        QCOMPARE(call.arguments().value(0).value<QDBusObjectPath>().path(), trackPath);
        QCOMPARE(call.arguments().value(1).toLongLong(), micros);
    }

    void commandsCallTheirMethods_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("method");
        QTest::newRow("play") << QStringLiteral("play") << QStringLiteral("Play");
        QTest::newRow("pause") << QStringLiteral("pause") << QStringLiteral("Pause");
        QTest::newRow("playpause") << QStringLiteral("playpause") << QStringLiteral("PlayPause");
        QTest::newRow("next track") << QStringLiteral("next track") << QStringLiteral("Next");
        QTest::newRow("previous track") << QStringLiteral("previous track") << QStringLiteral("Previous");
    }
    void commandsCallTheirMethods()
    {
        QFETCH(QString, body);
        QFETCH(QString, method);
        const auto result = run(spotify(body));
        QVERIFY(result && result->ok());
        QCOMPARE(m_player.calls.size(), 1);
        QCOMPARE(m_player.calls.front().interface(), QStringLiteral("org.mpris.MediaPlayer2.Player"));
        QCOMPARE(m_player.calls.front().member(), method);
    }
};

QTEST_GUILESS_MAIN(FakeSpotifyTest)
#include "tst_fakespotify.moc"
