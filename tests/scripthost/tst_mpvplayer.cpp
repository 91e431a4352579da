// labels: mpris dbus
// The MPRIS script host against a real player: mpv with mpv-mpris on a private session bus, standing
// in for Music (its MPRIS name given the way TAVRENHOLD_MUSIC_MPRIS_NAME gives it), on tones made here.
#include "PrivateBus.h"

#include "nowplaying/PlayerScripts.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;

namespace {

const QString mprisPlugin = QStringLiteral("/usr/lib/mpv-mpris/mpris.so");
const QString mpvName = QStringLiteral("org.mpris.MediaPlayer2.mpv");
const QString playerIface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString mprisPath = QStringLiteral("/org/mpris/MediaPlayer2");

QString music(const QString &body) { return PlayerScripts::wrap(body, PlayerKind::appleMusic); }

QString launcherScript(int seconds, const QString &body)
{
    return QStringLiteral("with timeout of %1 seconds\ntell application id \"com.apple.Music\"\n%2\nend tell\nend timeout")
        .arg(seconds)
        .arg(body);
}

} // namespace

class MpvPlayerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tones;
    QTemporaryDir m_home;
    PrivateBus m_bus;
    QProcess m_mpv;
    ManualClock m_clock;
    std::unique_ptr<platform::MprisScriptHost> m_host;
    std::unique_ptr<AppleEventRunner> m_runner;

    QVariant property(const QString &name) const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(mpvName, mprisPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << playerIface << name;
        const QDBusMessage reply = m_bus.connection().call(get, QDBus::Block, 2000);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QString status() const { return property(QStringLiteral("PlaybackStatus")).toString(); }
    QString title() const
    {
        const QVariant metadata = property(QStringLiteral("Metadata"));
        if (!metadata.isValid())
            return {};
        return qdbus_cast<QVariantMap>(metadata.value<QDBusArgument>()).value(QStringLiteral("xesam:title")).toString();
    }
    double positionSeconds() const { return property(QStringLiteral("Position")).toLongLong() / 1e6; }
    bool callPlayer(const QString &method)
    {
        const QDBusMessage call = QDBusMessage::createMethodCall(mpvName, mprisPath, playerIface, method);
        return m_bus.connection().call(call, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
    }

    bool launchMpv(bool paused)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        env.remove(QStringLiteral("DISPLAY"));
        m_mpv.setProcessEnvironment(env);
        m_mpv.setStandardOutputFile(QProcess::nullDevice());
        m_mpv.setStandardErrorFile(QProcess::nullDevice());
        QStringList args{QStringLiteral("--no-config"), QStringLiteral("--no-video"), QStringLiteral("--ao=null"),
                         QStringLiteral("--no-terminal"), QStringLiteral("--script=") + mprisPlugin};
        if (paused)
            args << QStringLiteral("--pause");
        args << m_tones.filePath(QStringLiteral("first.flac")) << m_tones.filePath(QStringLiteral("second.flac"));
        m_mpv.start(QStringLiteral("mpv"), args);
        if (!m_mpv.waitForStarted(5000))
            return false;
        // mpv shows the file name first, then the tags.
        return QTest::qWaitFor([&] { return title() == QLatin1String("Script Tone"); }, 8000);
    }

    std::optional<AppleEventResult<QString>> run(const QString &text, bool reuse = true)
    {
        return runToEnd(*m_runner, text, reuse);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"mpv", "sox", "dbus-daemon"})
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing (scripts/bootstrap installs it)").arg(QLatin1String(tool))));
        QVERIFY2(QFile::exists(mprisPlugin), "mpv-mpris is missing (scripts/bootstrap installs it)");
        QVERIFY(m_tones.isValid() && m_home.isValid());
        const struct {
            const char *file, *title;
        } tones[] = {{"first.flac", "Script Tone"}, {"second.flac", "Second Tone"}};
        for (const auto &t : tones) {
            QProcess sox;
            sox.start(QStringLiteral("sox"),
                      {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("8000"), QStringLiteral("-c"), QStringLiteral("1"),
                       QStringLiteral("--comment"), QStringLiteral("TITLE=") + QLatin1String(t.title),
                       QStringLiteral("--add-comment"), QStringLiteral("ARTIST=Test Artist"), QStringLiteral("--add-comment"),
                       QStringLiteral("ALBUM=Tones"), m_tones.filePath(QLatin1String(t.file)), QStringLiteral("synth"),
                       QStringLiteral("40"), QStringLiteral("sine"), QStringLiteral("440")});
            QVERIFY(sox.waitForFinished(10000));
            QVERIFY2(sox.exitCode() == 0, sox.readAllStandardError().constData());
        }
    }

    void init()
    {
        QVERIFY(m_bus.start(QStringLiteral("scripthost-mpv-%1").arg(QLatin1String(QTest::currentTestFunction()))));
        // Music is whatever MPRIS player the user names; here, mpv.
        qputenv("TAVRENHOLD_MUSIC_MPRIS_NAME", "mpv");
        m_host = std::make_unique<platform::MprisScriptHost>(
            m_bus.connection(), platform::MprisScriptHost::musicBusNameFromEnvironment(), clockTimers(m_clock));
        qunsetenv("TAVRENHOLD_MUSIC_MPRIS_NAME");
        m_runner = std::make_unique<AppleEventRunner>(*m_host);
        const bool paused = QByteArray(QTest::currentTestFunction()).startsWith("paused")
            || (QTest::currentDataTag() && QByteArray(QTest::currentDataTag()).startsWith("paused"));
        QVERIFY2(launchMpv(paused), "mpv did not come up on the bus");
        QCOMPARE(status(), paused ? QStringLiteral("Paused") : QStringLiteral("Playing"));
    }

    void cleanup()
    {
        stopProcess(m_mpv);
        m_runner.reset();
        m_host.reset();
        m_bus.stop();
    }

    void stateScriptReadsTheTrackInMusicUnits()
    {
        const auto result = run(PlayerScripts::stateScript(PlayerKind::appleMusic));
        QVERIFY(result && result->ok());
        const QStringList fields = result->value().split(PlayerScripts::separator);
        QCOMPARE(fields.size(), 8);
        QCOMPARE(fields.at(0), QStringLiteral("playing"));
        QCOMPARE(fields.at(1), QStringLiteral("/0"));
        QCOMPARE(fields.at(2), QStringLiteral("Script Tone"));
        QCOMPARE(fields.at(3), QStringLiteral("Test Artist"));
        QCOMPARE(fields.at(4), QStringLiteral("Tones"));
        QVERIFY2(qAbs(fields.at(5).toDouble() - 40.0) < 0.1, qPrintable(fields.at(5))); // seconds
        QVERIFY2(fields.at(6).toDouble() >= 0 && fields.at(6).toDouble() < 10, qPrintable(fields.at(6)));
        QCOMPARE(fields.at(7), QString());

        const PlayerSnapshot reading = PlayerScripts::parse(result->value(), PlayerKind::appleMusic, std::nullopt, m_clock);
        QCOMPARE(reading.status, PlaybackStatus::playing);
        QVERIFY(reading.track);
        QCOMPARE(reading.track->id, QStringLiteral("/0"));
        QVERIFY(qAbs(reading.track->duration - 40.0) < 0.1);
        QVERIFY(!reading.track->artworkURL);
    }

    void positionAndStateWords()
    {
        const auto position = run(music(PlayerScripts::positionBody()));
        QVERIFY(position && position->ok());
        const QStringList fields = position->value().split(PlayerScripts::separator);
        QCOMPARE(fields.size(), 2);
        QCOMPARE(fields.at(0), QStringLiteral("playing"));
        bool ok = false;
        QVERIFY(fields.at(1).toDouble(&ok) >= 0 && ok);

        const auto word = run(launcherScript(3, QStringLiteral("return player state as text")));
        QVERIFY(word && word->ok());
        QCOMPARE(word->value(), QStringLiteral("playing"));
        QVERIFY(callPlayer(QStringLiteral("Pause")));
        QVERIFY(QTest::qWaitFor([&] { return status() == QLatin1String("Paused"); }, 3000));
        const auto paused = run(launcherScript(3, QStringLiteral("return player state as text")));
        QVERIFY(paused && paused->ok());
        QCOMPARE(paused->value(), QStringLiteral("paused"));
    }

    // Tests and rows whose name begins with "paused" start mpv paused.
    void transportMovesThePlayer_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("fromSecond");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("title");
        const QString first = QStringLiteral("Script Tone");
        const QString second = QStringLiteral("Second Tone");
        auto body = [](const TransportCommand &c) { return music(PlayerScripts::commandBody(c)); };
        QTest::newRow("pause") << body(TransportCommand::pause()) << false << QStringLiteral("Paused") << first;
        QTest::newRow("paused, play") << body(TransportCommand::play()) << false << QStringLiteral("Playing") << first;
        QTest::newRow("playpause") << body(TransportCommand::toggle()) << false << QStringLiteral("Paused") << first;
        QTest::newRow("paused, playpause") << body(TransportCommand::toggle()) << false << QStringLiteral("Playing") << first;
        QTest::newRow("next track") << body(TransportCommand::next()) << false << QStringLiteral("Playing") << second;
        QTest::newRow("previous track") << body(TransportCommand::previous()) << true << QStringLiteral("Playing") << first;
        QTest::newRow("paused, launcher's play") << launcherScript(5, QStringLiteral("play")) << false
                                                 << QStringLiteral("Playing") << first;
    }
    void transportMovesThePlayer()
    {
        QFETCH(QString, script);
        QFETCH(bool, fromSecond);
        QFETCH(QString, status);
        QFETCH(QString, title);
        if (fromSecond) {
            QVERIFY(callPlayer(QStringLiteral("Next")));
            QVERIFY(QTest::qWaitFor([&] { return this->title() == QLatin1String("Second Tone"); }, 5000));
        }
        const auto result = run(script);
        QVERIFY(result && result->ok());
        QCOMPARE(result->value(), QString()); // commands answer nothing
        QVERIFY2(QTest::qWaitFor([&] { return this->status() == status && this->title() == title; }, 5000),
                 qPrintable(this->status() + QLatin1Char('/') + this->title()));
    }

    void paused_seekLands()
    {
        const auto result = run(music(PlayerScripts::commandBody(TransportCommand::seek(20.5))), false);
        QVERIFY(result && result->ok());
        QVERIFY2(QTest::qWaitFor([&] { return qAbs(positionSeconds() - 20.5) < 0.3; }, 5000),
                 qPrintable(QString::number(positionSeconds())));
        // The state script reads the new position back, in seconds.
        const auto state = run(PlayerScripts::stateScript(PlayerKind::appleMusic));
        QVERIFY(state && state->ok());
        const PlayerSnapshot reading = PlayerScripts::parse(state->value(), PlayerKind::appleMusic, std::nullopt, m_clock);
        QCOMPARE(reading.status, PlaybackStatus::paused);
        QVERIFY2(qAbs(reading.elapsed - 20.5) < 0.3, qPrintable(QString::number(reading.elapsed)));
    }

    void unrecognisedTextDoesNotCompile()
    {
        const auto result = run(music(QStringLiteral("stop")));
        QVERIFY(result && !result->ok());
        QCOMPARE(result->error(), AppleEventFailure::other(-2741));
        QTest::qWait(200);
        QCOMPARE(status(), QStringLiteral("Playing"));
    }

    void favouritesAndReveal()
    {
        const QString check = QStringLiteral("with timeout of 3 seconds\ntell application id \"com.apple.Music\"\ntry\n"
                                             "\treturn (favorited of current track) as text\non error\n\ttry\n"
                                             "\t\treturn (loved of current track) as text\n\tend try\nend try\n"
                                             "return \"false\"\nend tell\nend timeout");
        const auto answer = run(check);
        QVERIFY(answer && answer->ok());
        QCOMPARE(answer->value(), QStringLiteral("false"));

        const QString reveal = QStringLiteral("with timeout of 5 seconds\ntell application id \"com.apple.Music\"\ntry\n"
                                              "\treveal current track\nend try\nactivate\nend tell\nend timeout");
        const auto revealed = run(reveal);
        QVERIFY(revealed && revealed->ok());
        QCOMPARE(status(), QStringLiteral("Playing"));
    }

    void missingPlayerIsNotRunning()
    {
        // Music without an MPRIS name is no player at all, even while mpv plays.
        platform::MprisScriptHost unmapped(m_bus.connection(), QString(), clockTimers(m_clock));
        AppleEventRunner unmappedRunner(unmapped);
        const auto none = runToEnd(unmappedRunner, PlayerScripts::stateScript(PlayerKind::appleMusic));
        QVERIFY(none && !none->ok());
        QCOMPARE(none->error(), AppleEventFailure::notRunning());
        // Nobody claims Spotify's name here.
        const auto spotify = run(PlayerScripts::stateScript(PlayerKind::spotify));
        QVERIFY(spotify && !spotify->ok());
        QCOMPARE(spotify->error(), AppleEventFailure::notRunning());

        stopProcess(m_mpv);
        QVERIFY(QTest::qWaitFor([&] { return !m_bus.hasName(mpvName); }, 5000));
        for (const QString &text : {PlayerScripts::stateScript(PlayerKind::appleMusic), music(QStringLiteral("play")),
                                    launcherScript(3, QStringLiteral("return player state as text"))}) {
            const auto result = run(text);
            QVERIFY(result && !result->ok());
            QCOMPARE(result->error(), AppleEventFailure::notRunning());
        }
    }

    // A player that stops answering fails the script when the script's own time-out has passed, and
    // the scripts queued behind it run afterwards.
    void hungPlayerTimesOut()
    {
        ::kill(pid_t(m_mpv.processId()), SIGSTOP);
        const auto state = startScript(*m_runner, PlayerScripts::stateScript(PlayerKind::appleMusic));
        const auto behind = startScript(*m_runner, music(QStringLiteral("pause")));
        QTest::qWait(300);
        m_clock.advance(7900ms);
        QTest::qWait(100);
        QVERIFY(!state->out);
        m_clock.advance(100ms);
        QVERIFY(QTest::qWaitFor([&] { return state->out.has_value(); }, 2000));
        QVERIFY(!state->out->ok());
        QCOMPARE(state->out->error(), AppleEventFailure::timedOut());

        ::kill(pid_t(m_mpv.processId()), SIGCONT);
        QVERIFY(QTest::qWaitFor([&] { return behind->out.has_value(); }, 5000));
        QVERIFY(behind->out->ok());
        QVERIFY(QTest::qWaitFor([&] { return status() == QLatin1String("Paused"); }, 3000));
    }
};

QTEST_GUILESS_MAIN(MpvPlayerTest)
#include "tst_mpvplayer.moc"
