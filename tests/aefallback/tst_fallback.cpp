// labels: mpris dbus
// The Apple Events source as the coordinator's fallback, against a real player: mpv with mpv-mpris on
// a private session bus stands in for Music (TAVRENHOLD_MUSIC_MPRIS_NAME names it). The media-remote
// adapter is the built one, reached through a folder of links that belongs to this test alone, with a
// test client that fails at first: the coordinator falls back, follows the player through its
// broadcasts, drives it, and hands over to the adapter at the first recovery after the client works.
//
// The steps build on each other and run in order.
#include "fakes/ManualClock.h"
#include "nowplaying/AppleEventRunner.h"
#include "nowplaying/AppleScriptSource.h"
#include "nowplaying/NowPlayingCoordinator.h"
#include "nowplaying/PlayerCatalog.h"
#include "nowplaying/SystemNowPlayingSource.h"
#include "peers/MprisPeer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using namespace tavrenhold;
using namespace std::chrono_literals;
using test::MprisPeer;

namespace {

const QString firstTitle = QStringLiteral("First Tone");
const QString secondTitle = QStringLiteral("Second Tone");
const QString libexec = QStringLiteral(ADAPTER_LIBEXEC_DIR);
const QString testClientName = QStringLiteral("MediaRemoteAdapterTestClient");

QString describe(const NowPlayingState &s)
{
    return QStringLiteral("%1 \"%2\" from %3 at %4 s")
        .arg(rawValue(s.status), s.track ? s.track->title : QStringLiteral("-"),
             s.player ? s.player->id : QStringLiteral("-"))
        .arg(s.elapsed);
}

} // namespace

class FallbackTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<MprisPeer> m_peer;
    test::ManualClock m_clock;
    std::unique_ptr<NowPlayingCoordinator> m_coordinator;
    MonoTime m_fallbackSince; // on the test's clock: the recoveries count from here

    [[nodiscard]] QString path(const QString &name) const { return m_dir.filePath(name); }
    [[nodiscard]] NowPlayingState state() const { return m_coordinator->state(); }
    [[nodiscard]] QString activeSource() const { return m_coordinator->activeSourceID().value_or(QStringLiteral("-")); }

    // Lets the source's re-reading after a command (0.35 s on the test's clock) happen, once the
    // command has run and its sleep has begun: advanced earlier, the clock would pass it by.
    [[nodiscard]] bool settleCommand()
    {
        const MonoTime settled = m_clock.now() + AppleScriptSource::commandSettleDelay;
        if (!QTest::qWaitFor([&] { return m_clock.hasSleeperUntil(settled); }, 10000))
            return false;
        m_clock.advance(AppleScriptSource::commandSettleDelay);
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString missing = MprisPeer::missingTools();
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
        for (const QString &part : {QStringLiteral("mediaremote-adapter.pl"), QStringLiteral("MediaRemoteAdapter.framework"),
                                    testClientName})
            QVERIFY2(QFile::exists(libexec + QLatin1Char('/') + part), qPrintable(part + QStringLiteral(" was not built")));
        QVERIFY(m_dir.isValid());

        // The user's folders, inside ours; mpv's desktop entry is the only application installed.
        const QDir root(m_dir.path());
        for (const char *folder : {"home", "config", "data", "cache", "runtime", "share/applications", "tones", "adapter",
                                   "bundle"})
            QVERIFY(root.mkpath(QLatin1String(folder)));
        QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", QFile::encodeName(path("home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(path("cache")));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(path("runtime")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(path("share")));
        qputenv("TAVRENHOLD_MUSIC_MPRIS_NAME", MprisPeer::playerName.toUtf8());
        qunsetenv("DISPLAY");
        QFile entry(path("share/applications/mpv.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=mpv\nTryExec=mpv\nExec=mpv --player-operation-mode=pseudo-gui -- %U\n");
        entry.close();

        // The adapter through links of our own (so no other test's orphan reaping meets its processes),
        // with a test client that fails.
        for (const char *part : {"mediaremote-adapter.pl", "MediaRemoteAdapter.framework"})
            QVERIFY(QFile::link(libexec + QLatin1Char('/') + QLatin1String(part), path("adapter/") + QLatin1String(part)));
        QFile client(path("adapter/") + testClientName);
        QVERIFY(client.open(QIODevice::WriteOnly));
        client.write("#!/bin/sh\nexit 1\n");
        client.close();
        QVERIFY(client.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("TAVRENHOLD_ADAPTER_DIR", QFile::encodeName(path("adapter")));

        const MprisPeer::Tone tones[] = {{path("tones/first.flac"), firstTitle, QStringLiteral("Tone Artist"),
                                          QStringLiteral("Tone Album"), 40},
                                         {path("tones/second.flac"), secondTitle, QStringLiteral("Tone Artist"),
                                          QStringLiteral("Tone Album"), 40}};
        for (const auto &tone : tones) {
            const QString error = MprisPeer::makeTone(tone);
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }

        // The bus becomes this process's session bus before anything connects to one.
        m_peer = std::make_unique<MprisPeer>();
        QVERIFY2(m_peer->startBus(), "dbus-daemon did not start");
        QVERIFY2(m_peer->launchPlayer({tones[0].path, tones[1].path}), "mpv did not start");
        QVERIFY2(m_peer->waitForTitle(firstTitle), "mpv did not come up on the bus");
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->status(), QStringLiteral("Playing"), 5000);

        auto *system = new SystemNowPlayingSource(m_clock, path("bundle"));
        auto *fallback = new AppleScriptSource(m_clock, AppleEventRunner::shared(), PlayerWorkspace::shared(),
                                               PlayerNotificationCenter::shared());
        m_coordinator = std::make_unique<NowPlayingCoordinator>(system, fallback, m_clock);
    }

    void cleanupTestCase()
    {
        if (m_coordinator) {
            m_coordinator->stop();
            // The adapter stream ends on its own signal; give it the moment it needs.
            QTest::qWait(300);
        }
        m_coordinator.reset();
        m_peer.reset();
    }

    void fallsBackAndPublishesThePlayersTrack()
    {
        m_coordinator->start();
        QTRY_COMPARE_WITH_TIMEOUT(activeSource(), QStringLiteral("applescript"), 20000);
        m_fallbackSince = m_clock.now();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_clock.hasSleeperUntil(m_fallbackSince + NowPlayingCoordinator::recoveryInterval), 10000);
        QVERIFY2(QTest::qWaitFor([&] { return state().track && state().track->title == firstTitle; }, 10000),
                 qPrintable(describe(state())));
        const NowPlayingState s = state();
        QCOMPARE(s.status, PlaybackStatus::playing);
        QCOMPARE(s.player, (PlayerIdentity{QStringLiteral("com.apple.Music"), QStringLiteral("Music")}));
        QCOMPARE(s.track->artist, QStringLiteral("Tone Artist"));
        QCOMPARE(s.track->album, QStringLiteral("Tone Album"));
        QVERIFY(std::abs(s.track->duration - 40) < 0.5);
        QVERIFY(m_coordinator->isAppleMusic());
        QCOMPARE(m_coordinator->installedPlayers(),
                 (QList<MusicPlayerOption>{{QStringLiteral("com.apple.Music"), QStringLiteral("Music"),
                                            QUrl::fromLocalFile(path("share/applications/mpv.desktop"))}}));
    }

    // Nothing polls (the test's clock stands still): the pause can only come from the broadcast.
    void aPauseInThePlayerArrivesAsABroadcast()
    {
        QVERIFY(m_peer->call(QStringLiteral("Pause")));
        QVERIFY2(QTest::qWaitFor([&] { return state().status == PlaybackStatus::paused; }, 5000),
                 qPrintable(describe(state())));
        QCOMPARE(state().track->title, firstTitle);
    }

    void commandsReachThePlayer()
    {
        m_coordinator->send(TransportCommand::play());
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->status(), QStringLiteral("Playing"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(state().status, PlaybackStatus::playing, 5000);
        QVERIFY2(settleCommand(), "the command did not finish");

        m_coordinator->send(TransportCommand::pause());
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->status(), QStringLiteral("Paused"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(state().status, PlaybackStatus::paused, 5000);
        QVERIFY2(settleCommand(), "the command did not finish");

        m_coordinator->send(TransportCommand::next());
        QVERIFY(m_peer->waitForTitle(secondTitle, 5000));
        QVERIFY2(QTest::qWaitFor([&] { return state().track && state().track->title == secondTitle; }, 5000),
                 qPrintable(describe(state())));
        QVERIFY2(settleCommand(), "the command did not finish");

        // Half of the 40 s tone, while paused: the player holds 20 s and the state learns it.
        m_coordinator->seek(0.5);
        QVERIFY2(QTest::qWaitFor([&] { return std::abs(m_peer->position() - 20) < 1; }, 5000),
                 qPrintable(QStringLiteral("mpv is at %1 s").arg(m_peer->position())));
        QVERIFY2(settleCommand(), "the command did not finish");
        QVERIFY2(QTest::qWaitFor([&] { return std::abs(state().elapsed - 20) < 1; }, 5000), qPrintable(describe(state())));
        QCOMPARE(activeSource(), QStringLiteral("applescript"));
    }

    // Once the adapter's test client works, the next recovery (45 s on the test's clock) hands the
    // lead back to the system source, which publishes the same player as the adapter sees it.
    void theAdapterTakesOverAtTheNextRecovery()
    {
        QVERIFY(QFile::remove(path("adapter/") + testClientName));
        QVERIFY(QFile::link(libexec + QLatin1Char('/') + testClientName, path("adapter/") + testClientName));
        // A millisecond before the recovery it is still pending, and nothing has moved.
        const MonoTime recovery = m_fallbackSince + NowPlayingCoordinator::recoveryInterval;
        QVERIFY(recovery - m_clock.now() > 1ms);
        m_clock.advance(std::chrono::duration_cast<Millis>(recovery - m_clock.now()) - 1ms);
        QVERIFY(m_clock.hasSleeperUntil(recovery));
        QCOMPARE(activeSource(), QStringLiteral("applescript"));

        m_clock.advance(1ms);
        QVERIFY(!m_clock.hasSleeperUntil(recovery));
        QTRY_COMPARE_WITH_TIMEOUT(activeSource(), QStringLiteral("system"), 20000);
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const NowPlayingState s = state();
                         return s.player && s.player->id == QStringLiteral("mpv") && s.track && s.track->title == secondTitle;
                     },
                     15000),
                 qPrintable(describe(state())));
        QCOMPARE(state().status, PlaybackStatus::paused);
    }
};

QTEST_GUILESS_MAIN(FallbackTest)
#include "tst_fallback.moc"
