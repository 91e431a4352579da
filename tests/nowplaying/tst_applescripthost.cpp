// labels: unit
// The MPRIS script host recognises exactly the scripts the program sends: on a connection that
// reaches no bus, every text it knows fails as "not running" (-600), every other text as a script
// that does not compile (-2741), and a player without an MPRIS name as "no application" (-10814).
#include "fakes/ManualClock.h"
#include "nowplaying/AppleEventRunner.h"
#include "nowplaying/NowPlayingCoordinator.h"
#include "nowplaying/PlayerLauncher.h"
#include "nowplaying/PlayerScripts.h"
#include "platform/MprisScriptHost.h"

#include <QTest>

Q_DECLARE_METATYPE(tavrenhold::AppleEventFailure)

using namespace tavrenhold;
using platform::MprisScriptHost;
using platform::ScriptHost;

namespace {

// The coordinator's scripts and the launcher's, as they are sent.
const QString revealScript = QStringLiteral("with timeout of 5 seconds\n"
                                            "tell application id \"com.apple.Music\"\n"
                                            "try\n"
                                            "\treveal current track\n"
                                            "end try\n"
                                            "activate\n"
                                            "end tell\n"
                                            "end timeout");
const QString favouriteScript = QStringLiteral("with timeout of 5 seconds\n"
                                               "tell application id \"com.apple.Music\"\n"
                                               "try\n"
                                               "\tset favorited of current track to true\n"
                                               "on error\n"
                                               "\ttry\n"
                                               "\t\tset loved of current track to true\n"
                                               "\ton error\n"
                                               "\t\ttry\n"
                                               "\t\t\tduplicate current track to playlist \"Favorites\"\n"
                                               "\tend try\n"
                                               "\tend try\n"
                                               "end try\n"
                                               "end tell\n"
                                               "end timeout");
const QString favouriteCheckScript = QStringLiteral("with timeout of 3 seconds\n"
                                                    "tell application id \"com.apple.Music\"\n"
                                                    "try\n"
                                                    "\treturn (favorited of current track) as text\n"
                                                    "on error\n"
                                                    "\ttry\n"
                                                    "\t\treturn (loved of current track) as text\n"
                                                    "\tend try\n"
                                                    "end try\n"
                                                    "return \"false\"\n"
                                                    "end tell\n"
                                                    "end timeout");
QString launcherState(const QString &bundle)
{
    return QStringLiteral("with timeout of 3 seconds\ntell application id \"") + bundle
        + QStringLiteral("\"\nreturn player state as text\nend tell\nend timeout");
}
QString launcherPlay(const QString &bundle)
{
    return QStringLiteral("with timeout of 5 seconds\ntell application id \"") + bundle
        + QStringLiteral("\"\nplay\nend tell\nend timeout");
}

QDBusConnection noBus()
{
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tavrenhold-no-bus"),
                                         QStringLiteral("tavrenhold-no-bus"));
}

// The error number a text ends with on the host, or 0 when it replied.
int errorNumberOf(MprisScriptHost &host, const QString &text)
{
    auto script = host.makeScript(text);
    if (!script)
        return 1;
    std::optional<ScriptHost::Outcome> out;
    auto running = host.execute(script);
    auto storing = [](QCoro::Task<ScriptHost::Outcome> &t, std::optional<ScriptHost::Outcome> &o) -> QCoro::Task<> {
        o.emplace(co_await t);
    }(running, out);
    if (!QTest::qWaitFor([&] { return out.has_value(); }, 5000))
        return 2;
    if (const auto *info = std::get_if<ScriptHost::ErrorInfo>(&*out))
        return info->value(ScriptHost::errorNumberKey).toInt();
    return 0;
}

} // namespace

class AppleScriptHostTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void coordinatorScriptsAreTheLengthsSent()
    {
        QCOMPARE(revealScript.size(), 127);
        QCOMPARE(favouriteScript.size(), 272);
        QCOMPARE(favouriteCheckScript.size(), 221);
    }

    void knownScriptsAreRecognised_data()
    {
        QTest::addColumn<QString>("text");
        for (const PlayerKind kind : allPlayerKinds) {
            const QByteArray k = rawValue(kind).toUtf8();
            QTest::newRow(k + " state") << PlayerScripts::stateScript(kind);
            QTest::newRow(k + " position") << PlayerScripts::wrap(PlayerScripts::positionBody(), kind);
            QTest::newRow(k + " artwork") << PlayerScripts::wrap(PlayerScripts::artworkBody(), kind);
            for (const auto &command : {TransportCommand::play(), TransportCommand::pause(), TransportCommand::toggle(),
                                        TransportCommand::next(), TransportCommand::previous(), TransportCommand::seek(0),
                                        TransportCommand::seek(75.25), TransportCommand::seek(123456.789)})
                QTest::newRow(k + " " + PlayerScripts::commandBody(command).toUtf8())
                    << PlayerScripts::wrap(PlayerScripts::commandBody(command), kind);
            QTest::newRow(k + " launcher state") << launcherState(bundleIdentifier(kind));
            QTest::newRow(k + " launcher play") << launcherPlay(bundleIdentifier(kind));
            // As the launcher builds them.
            QTest::newRow(k + " launcher's own state") << MusicLauncher::stateScript(kind);
            QTest::newRow(k + " launcher's own play") << MusicLauncher::playScript(kind);
        }
        QTest::newRow("reveal") << revealScript;
        QTest::newRow("favourite") << favouriteScript;
        QTest::newRow("favourite check") << favouriteCheckScript;
        // As the coordinator builds them.
        QTest::newRow("coordinator's reveal") << NowPlayingCoordinator::revealScript();
        QTest::newRow("coordinator's favourite") << NowPlayingCoordinator::favoriteScript();
        QTest::newRow("coordinator's favourite check") << NowPlayingCoordinator::favoriteCheckScript();
    }
    void knownScriptsAreRecognised()
    {
        QFETCH(QString, text);
        MprisScriptHost host(noBus(), QStringLiteral("org.mpris.MediaPlayer2.mpv"));
        QCOMPARE(errorNumberOf(host, text), int(ScriptHost::notRunningError));
    }

    void otherTextsDoNotCompile_data()
    {
        QTest::addColumn<QString>("text");
        const QString state = PlayerScripts::stateScript(PlayerKind::spotify);
        QTest::newRow("empty") << QString();
        QTest::newRow("body without frame") << QStringLiteral("play");
        QTest::newRow("line feed after the last line") << PlayerScripts::wrap(QStringLiteral("play"), PlayerKind::spotify) + QLatin1Char('\n');
        QTest::newRow("carriage returns") << PlayerScripts::wrap(QStringLiteral("play"), PlayerKind::spotify).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        QTest::newRow("addressed by name") << QStringLiteral("with timeout of 8 seconds\ntell application \"Spotify\"\nplay\nend tell\nend timeout");
        QTest::newRow("no time-out") << QStringLiteral("with timeout of 0 seconds\ntell application id \"com.spotify.client\"\nplay\nend tell\nend timeout");
        QTest::newRow("unknown command") << PlayerScripts::wrap(QStringLiteral("stop"), PlayerKind::spotify);
        QTest::newRow("two commands") << PlayerScripts::wrap(QStringLiteral("play\npause"), PlayerKind::spotify);
        QTest::newRow("state with a changed line") << QString(state).replace(QStringLiteral("set thePosition to 0"), QStringLiteral("set thePosition to 1"));
        QTest::newRow("state indented with blanks") << QString(state).replace(QLatin1Char('\t'), QStringLiteral("    "));
        QTest::newRow("seek with a decimal comma") << PlayerScripts::wrap(QStringLiteral("set player position to 1,5"), PlayerKind::spotify);
        QTest::newRow("seek to nan") << PlayerScripts::wrap(QStringLiteral("set player position to nan"), PlayerKind::spotify);
        QTest::newRow("seek with an exponent") << PlayerScripts::wrap(QStringLiteral("set player position to 1e3"), PlayerKind::spotify);
        QTest::newRow("seek to nothing") << PlayerScripts::wrap(QStringLiteral("set player position to "), PlayerKind::spotify);
        QTest::newRow("shell in the body") << PlayerScripts::wrap(QStringLiteral("do shell script \"rm -rf ~\""), PlayerKind::spotify);
    }
    void otherTextsDoNotCompile()
    {
        QFETCH(QString, text);
        MprisScriptHost host(noBus(), QStringLiteral("org.mpris.MediaPlayer2.mpv"));
        QCOMPARE(errorNumberOf(host, text), int(ScriptHost::doesNotCompileError));

        // Through the runner: a failure with that number, kept or not.
        AppleEventRunner runner(host);
        for (const bool reuse : {true, false}) {
            std::optional<AppleEventResult<QString>> out;
            auto running = runner.runText(text, reuse);
            auto storing = [](QCoro::Task<AppleEventResult<QString>> &t, std::optional<AppleEventResult<QString>> &o)
                -> QCoro::Task<> { o.emplace(co_await t); }(running, out);
            QVERIFY(QTest::qWaitFor([&] { return out.has_value(); }, 5000));
            QVERIFY(!out->ok());
            QCOMPARE(out->error(), AppleEventFailure::other(-2741));
        }
    }

    void playersWithoutAnMprisName_data()
    {
        QTest::addColumn<QString>("musicName");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        const QString musicState = PlayerScripts::stateScript(PlayerKind::appleMusic);
        QTest::newRow("music unmapped") << QString() << musicState << int(ScriptHost::noApplicationError);
        QTest::newRow("music mapped") << QStringLiteral("org.mpris.MediaPlayer2.mpv") << musicState << int(ScriptHost::notRunningError);
        QTest::newRow("spotify needs no mapping") << QString() << PlayerScripts::stateScript(PlayerKind::spotify) << int(ScriptHost::notRunningError);
        QTest::newRow("unknown bundle") << QStringLiteral("org.mpris.MediaPlayer2.mpv") << launcherPlay(QStringLiteral("org.videolan.vlc")) << int(ScriptHost::noApplicationError);
        QTest::newRow("bundle in another case") << QStringLiteral("org.mpris.MediaPlayer2.mpv") << launcherPlay(QStringLiteral("com.apple.music")) << int(ScriptHost::noApplicationError);
    }
    void playersWithoutAnMprisName()
    {
        QFETCH(QString, musicName);
        QFETCH(QString, text);
        QFETCH(int, number);
        MprisScriptHost host(noBus(), musicName);
        QCOMPARE(errorNumberOf(host, text), number);
    }

    void musicNameFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value"); // "-": unset
        QTest::addColumn<QString>("name");
        QTest::newRow("unset") << QByteArray("-") << QString();
        QTest::newRow("empty") << QByteArray("") << QString();
        QTest::newRow("full name") << QByteArray("org.mpris.MediaPlayer2.mpv") << QStringLiteral("org.mpris.MediaPlayer2.mpv");
        QTest::newRow("short name") << QByteArray("vlc") << QStringLiteral("org.mpris.MediaPlayer2.vlc");
        QTest::newRow("instance") << QByteArray("mpv.instance4242") << QStringLiteral("org.mpris.MediaPlayer2.mpv.instance4242");
        QTest::newRow("blanks around") << QByteArray("  mpv \n") << QStringLiteral("org.mpris.MediaPlayer2.mpv");
        QTest::newRow("not a bus name") << QByteArray("mpv; rm") << QString();
        QTest::newRow("element starting with a digit") << QByteArray("mpv.4") << QString();
        QTest::newRow("empty element") << QByteArray("org.mpris.MediaPlayer2..mpv") << QString();
    }
    void musicNameFromTheEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, name);
        const QByteArray before = qgetenv("TAVRENHOLD_MUSIC_MPRIS_NAME");
        const bool had = qEnvironmentVariableIsSet("TAVRENHOLD_MUSIC_MPRIS_NAME");
        if (value == "-")
            qunsetenv("TAVRENHOLD_MUSIC_MPRIS_NAME");
        else
            qputenv("TAVRENHOLD_MUSIC_MPRIS_NAME", value);
        const QString read = MprisScriptHost::musicBusNameFromEnvironment();
        if (had)
            qputenv("TAVRENHOLD_MUSIC_MPRIS_NAME", before);
        else
            qunsetenv("TAVRENHOLD_MUSIC_MPRIS_NAME");
        QCOMPARE(read, name);
    }

    void busErrorsBecomeScriptErrors_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<AppleEventFailure>("failure");
        QTest::newRow("player gone") << int(QDBusError::ServiceUnknown) << AppleEventFailure::notRunning();
        QTest::newRow("no bus") << int(QDBusError::Disconnected) << AppleEventFailure::notRunning();
        QTest::newRow("denied") << int(QDBusError::AccessDenied) << AppleEventFailure::denied();
        QTest::newRow("no reply") << int(QDBusError::NoReply) << AppleEventFailure::timedOut();
        QTest::newRow("timed out") << int(QDBusError::TimedOut) << AppleEventFailure::timedOut();
        QTest::newRow("unknown method") << int(QDBusError::UnknownMethod) << AppleEventFailure::other(-1708);
        QTest::newRow("unknown property") << int(QDBusError::UnknownProperty) << AppleEventFailure::other(-1708);
        QTest::newRow("player failed") << int(QDBusError::Failed) << AppleEventFailure::other(-2700);
    }
    void busErrorsBecomeScriptErrors()
    {
        QFETCH(int, type);
        QFETCH(AppleEventFailure, failure);
        const int number = MprisScriptHost::errorNumberFor(QDBusError::ErrorType(type));
        QCOMPARE(AppleEventRunner::classify(ScriptHost::errorInfo(number)), failure);
    }

    void repliesAsText()
    {
        MprisScriptHost host(noBus(), QString());
        QCOMPARE(host.replyText({QVariant(QStringLiteral("playing"))}), QStringLiteral("playing"));
        QCOMPARE(host.replyText({QVariant(QString())}), QString());
        QCOMPARE(host.replyText({QVariant(true)}), QStringLiteral("true"));
        QCOMPARE(host.replyText({QVariant(12.5)}), QStringLiteral("12.5"));
        QCOMPARE(host.replyText({QVariant()}), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(AppleScriptHostTest)
#include "tst_applescripthost.moc"
