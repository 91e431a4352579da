// labels: unit
// The player launcher over a scripted host, a hand-set workspace and a hand-driven clock: opening the
// player, the checks 0.2 s after and then every 0.6 s, at most 30, and when play is sent.
#include "fakes/FakePlayerWorkspace.h"
#include "fakes/FakeScriptHost.h"
#include "fakes/ManualClock.h"
#include "nowplaying/AppleEventRunner.h"
#include "nowplaying/PlayerLauncher.h"

#include <QCoreApplication>
#include <QTest>

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {

const QString spotifyID = QStringLiteral("com.spotify.client");
const QUrl spotifyEntry = QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/spotify.desktop"));

void settle()
{
    for (int i = 0; i < 40; ++i)
        QCoreApplication::processEvents();
}

QCoro::Task<> noteEnd(QCoro::Task<> run, bool *ended)
{
    co_await run;
    *ended = true;
}

struct Rig {
    test::ManualClock clock;
    test::FakeScriptHost host{&clock};
    AppleEventRunner runner{host};
    test::FakePlayerWorkspace workspace;
    bool ended = false;
    const QString state = MusicLauncher::stateScript(PlayerKind::spotify);
    const QString play = MusicLauncher::playScript(PlayerKind::spotify);

    // Scripts still answering on the event loop finish while the host exists.
    ~Rig() { settle(); }

    void launch()
    {
        noteEnd(MusicLauncher::launchAndPlay(PlayerKind::spotify, clock, runner, workspace), &ended);
        settle();
    }
    void advance(Millis d)
    {
        clock.advance(d);
        settle();
    }
    int runs(const QString &script) const { return int(host.executed().count(script)); }
};

} // namespace

class LauncherTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scriptsAsSent()
    {
        QCOMPARE(MusicLauncher::stateScript(PlayerKind::appleMusic),
                 QStringLiteral("with timeout of 3 seconds\ntell application id \"com.apple.Music\"\n"
                                "return player state as text\nend tell\nend timeout"));
        QCOMPARE(MusicLauncher::playScript(PlayerKind::spotify),
                 QStringLiteral("with timeout of 5 seconds\ntell application id \"com.spotify.client\"\n"
                                "play\nend tell\nend timeout"));
    }

    void notInstalledDoesNothing()
    {
        Rig rig;
        rig.launch();
        QVERIFY(rig.ended);
        QVERIFY(rig.workspace.opened().isEmpty());
        QVERIFY(rig.host.executed().isEmpty());
        QCOMPARE(rig.clock.sleepers(), 0);
    }

    void alreadyPlayingGetsOneQuestion()
    {
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(rig.state, QStringLiteral("playing"));
        rig.launch();
        rig.advance(199ms);
        QVERIFY(rig.host.executed().isEmpty());
        rig.advance(1ms);
        QVERIFY(rig.ended);
        QCOMPARE(rig.host.executed(), QStringList{rig.state});
        QVERIFY(rig.workspace.opened().isEmpty());
    }

    // A paused player gets play at the first check and ends the run at the next one.
    void pausedPlayerIsStarted()
    {
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(rig.state, QStringLiteral("paused"));
        rig.launch();
        rig.advance(200ms);
        QCOMPARE(rig.host.executed(), (QStringList{rig.state, rig.play}));
        rig.host.answerText(rig.state, QStringLiteral("playing"));
        rig.advance(599ms);
        QCOMPARE(rig.runs(rig.state), 1);
        rig.advance(1ms);
        QVERIFY(rig.ended);
        QCOMPARE(rig.host.executed(), (QStringList{rig.state, rig.play, rig.state}));
    }

    // A player that does not run is opened in the background, then checked until it answers.
    void startsAPlayerThatDoesNotRun()
    {
        Rig rig;
        rig.workspace.install(spotifyID, spotifyEntry);
        rig.host.answerText(rig.state, QStringLiteral("stopped"));
        rig.launch();
        QCOMPARE(rig.workspace.opened(), QStringList{spotifyID + QLatin1Char(' ') + spotifyEntry.toString() + " background"});
        rig.advance(200ms);
        QCOMPARE(rig.host.executed(), (QStringList{rig.state, rig.play}));
        rig.host.answerText(rig.state, QStringLiteral("playing"));
        rig.advance(600ms);
        QVERIFY(rig.ended);
    }

    // The run ends after the 30th check, 0.2 s + 29 × 0.6 s after it began, whatever the player says.
    void givesUpAfterThirtyChecks_data()
    {
        QTest::addColumn<bool>("runs");
        QTest::addColumn<int>("stateError"); // 0: the state script answers `reply`
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("plays");
        QTest::newRow("always paused") << true << 0 << "paused" << 30;
        QTest::newRow("\"Playing\" is not \"playing\"") << true << 0 << "Playing" << 30;
        QTest::newRow("an empty reply") << true << 0 << "" << 0;
        QTest::newRow("refuses automation") << true << int(platform::ScriptHost::deniedError) << "" << 0;
        QTest::newRow("never starts running") << false << 0 << "" << 0;
    }
    void givesUpAfterThirtyChecks()
    {
        QFETCH(bool, runs);
        QFETCH(int, stateError);
        QFETCH(QString, reply);
        QFETCH(int, plays);
        Rig rig;
        rig.workspace.install(spotifyID, spotifyEntry);
        rig.workspace.setOpeningStartsApplications(runs);
        if (stateError)
            rig.host.answerError(rig.state, stateError);
        else
            rig.host.answerText(rig.state, reply);
        rig.launch();
        rig.advance(200ms);
        for (int check = 1; check < 29; ++check)
            rig.advance(600ms);
        rig.advance(599ms);
        QVERIFY(!rig.ended);
        rig.advance(1ms);
        QVERIFY(rig.ended);
        QCOMPARE(rig.runs(rig.state), runs ? 30 : 0);
        QCOMPARE(rig.runs(rig.play), plays);
        QCOMPARE(rig.clock.sleepers(), 0);
    }
};

QTEST_GUILESS_MAIN(LauncherTest)
#include "tst_launcher.moc"
