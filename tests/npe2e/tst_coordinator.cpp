// labels: mpris dbus
// The now-playing service end to end: the coordinator over the real system source, which runs the built
// media-remote adapter against mpv playing tagged tones on a private session bus, with a fake fallback.
// Every test starts its own bus, player and coordinator.
#include "EndToEndRig.h"
#include "fakes/FakeNowPlayingSource.h"
#include "nowplaying/NowPlayingCoordinator.h"
#include "nowplaying/SystemNowPlayingSource.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <set>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;

namespace {

StreamShape shapeOf(const AdapterLocation &location)
{
    return {location.perl.toStdString(), QFile::encodeName(location.script).toStdString(),
            QFile::encodeName(location.framework).toStdString()};
}

bool isPlaying(const NowPlayingState &state, const QString &title)
{
    return state.status == PlaybackStatus::playing && state.track && state.track->title == title;
}

QString describe(const NowPlayingState &state)
{
    if (!state.track)
        return QStringLiteral("no track, status %1").arg(rawValue(state.status));
    return QStringLiteral("\"%1\" %2 at %3 s of %4 s")
        .arg(state.track->title, rawValue(state.status))
        .arg(state.position(QDateTime::currentDateTimeUtc()))
        .arg(state.track->duration);
}

} // namespace

class CoordinatorEndToEnd : public QObject {
    Q_OBJECT

private:
    EndToEndRig m_rig;
    std::unique_ptr<MprisPeer> m_peer;
    QProcess *m_player = nullptr; // mpv, owned by the peer
    std::unique_ptr<NowPlayingCoordinator> m_coordinator;
    SystemNowPlayingSource *m_system = nullptr;
    FakeNowPlayingSource *m_fallback = nullptr;

    [[nodiscard]] NowPlayingState state() const { return m_coordinator->state(); }
    [[nodiscard]] QString activeSource() const { return m_coordinator->activeSourceID().value_or(QStringLiteral("-")); }

    // Starts the coordinator and waits (generously) until it shows the first tone playing.
    bool startAndWaitForPlaying()
    {
        m_coordinator->start();
        return QTest::qWaitFor([&] { return isPlaying(state(), EndToEndRig::firstTitle); }, 15000);
    }

    [[nodiscard]] std::vector<pid_t> ourStreams() const
    {
        const auto location = AdapterLocation::discover(m_rig.adapterFolder());
        return location ? streamProcesses(shapeOf(*location)) : std::vector<pid_t>{};
    }

    // How long the steps of a start that are the adapter's own work take on this machine now: the
    // self-test the probe runs, one read of the player (as the stream's first report makes), and the
    // stream's 120 ms debounce. -1 when a step fails.
    [[nodiscard]] qint64 adapterWorkMs() const
    {
        const auto location = AdapterLocation::discover(m_rig.adapterFolder());
        if (!location || !location->testClient)
            return -1;
        QElapsedTimer timer;
        timer.start();
        for (const QStringList &command : {QStringList{*location->testClient, QStringLiteral("test")},
                                           QStringList{QStringLiteral("get"), QStringLiteral("--no-artwork")}}) {
            QProcess run;
            run.setStandardOutputFile(QProcess::nullDevice());
            run.setStandardErrorFile(QProcess::nullDevice());
            run.start(location->perl, location->arguments(command));
            if (!run.waitForFinished(20000) || run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0)
                return -1;
        }
        return timer.elapsed() + 120;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString problem = m_rig.prepare();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void init()
    {
        m_peer = std::make_unique<MprisPeer>();
        QVERIFY2(m_peer->startBus(), "dbus-daemon did not start");
        m_player = m_peer->launchPlayer(m_rig.tones());
        QVERIFY2(m_player, "mpv did not start");
        QVERIFY2(m_peer->waitForTitle(EndToEndRig::firstTitle), "mpv did not come up on the bus");
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->status(), QStringLiteral("Playing"), 5000);

        m_system = new SystemNowPlayingSource(Clock::system(), m_rig.adapterFolder());
        m_fallback = new FakeNowPlayingSource(QStringLiteral("applescript"));
        m_coordinator = std::make_unique<NowPlayingCoordinator>(m_system, m_fallback);
    }

    void cleanup()
    {
        m_coordinator.reset();
        // The stream was sent SIGTERM (SIGKILL 1.5 s later); none may be left for the next test.
        QVERIFY2(QTest::qWaitFor([&] { return ourStreams().empty(); }, 10000), "an adapter stream outlived its source");
        m_peer.reset();
    }

    // Within 2 s of start the system source is active and the tone is published as playing, with its
    // tags; its cover follows; a pause in the player reaches the state at the position the player holds.
    void publishesThePlayingTone()
    {
        // The promise is 2 s on a machine that starts the adapter promptly; when the machine is slow to
        // run the adapter's own steps, the start may take that much longer.
        const qint64 adapterWork = adapterWorkMs();
        QVERIFY2(adapterWork > 0, "the adapter does not work on this bus");
        const qint64 allowed = std::max<qint64>(2000, 2 * adapterWork + 500);

        QElapsedTimer sinceStart;
        qint64 publishedAfter = -1;
        QObject scope;
        connect(m_coordinator.get(), &NowPlayingPublisher::stateChanged, &scope, [&] {
            if (publishedAfter < 0 && isPlaying(state(), EndToEndRig::firstTitle))
                publishedAfter = sinceStart.elapsed();
        });
        sinceStart.start();
        QVERIFY2(startAndWaitForPlaying(), qPrintable(describe(state())));
        QVERIFY2(publishedAfter >= 0 && publishedAfter <= allowed,
                 qPrintable(QStringLiteral("published after %1 ms; the adapter's own steps took %2 ms")
                                .arg(publishedAfter)
                                .arg(adapterWork)));

        QCOMPARE(activeSource(), QStringLiteral("system"));
        QCOMPARE(m_fallback->count(QStringLiteral("start")), 0);
        const NowPlayingState playing = state();
        QCOMPARE(playing.track->artist, EndToEndRig::artist);
        QCOMPARE(playing.track->album, EndToEndRig::album);
        QVERIFY2(qAbs(playing.track->duration - EndToEndRig::toneSeconds) < 0.5, qPrintable(describe(playing)));
        QVERIFY(playing.player);
        QCOMPARE(playing.player->id, QStringLiteral("mpv"));

        QVERIFY2(QTest::qWaitFor([&] { return state().track && state().track->artwork
                                              && state().track->artwork->bytes == m_rig.cover(); }, 15000),
                 "the cover never reached the state");
        QCOMPARE(state().track->artwork->id, state().track->id);

        QVERIFY(m_peer->call(QStringLiteral("Pause")));
        QTRY_COMPARE_WITH_TIMEOUT(state().status, PlaybackStatus::paused, 5000);
        QCOMPARE(state().track->title, EndToEndRig::firstTitle);
        const double shown = state().position(QDateTime::currentDateTimeUtc());
        const double held = m_peer->position();
        QVERIFY2(qAbs(shown - held) < 1.0, qPrintable(QStringLiteral("shown %1 s, player at %2 s").arg(shown).arg(held)));
    }

    // A transport command sent through the coordinator reaches mpv, and the player's answer comes
    // back as the published state.
    void commandsReachThePlayer_data()
    {
        QTest::addColumn<bool>("startPaused");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("status"); // the player's, afterwards
        QTest::addColumn<QString>("title");
        QTest::addColumn<double>("position"); // seconds, or -1: not checked

        const QString first = EndToEndRig::firstTitle;
        QTest::newRow("pause") << false << "pause" << "Paused" << first << -1.0;
        QTest::newRow("play") << true << "play" << "Playing" << first << -1.0;
        QTest::newRow("toggle") << false << "toggle" << "Paused" << first << -1.0;
        QTest::newRow("next") << false << "next" << "Playing" << EndToEndRig::secondTitle << -1.0;
        QTest::newRow("seek 5 s") << true << "seek" << "Paused" << first << 5.0;
        QTest::newRow("seek a quarter") << true << "seek 0.25" << "Paused" << first << 10.0;
    }
    void commandsReachThePlayer()
    {
        QFETCH(bool, startPaused);
        QFETCH(QString, command);
        QFETCH(QString, status);
        QFETCH(QString, title);
        QFETCH(double, position);

        QVERIFY2(startAndWaitForPlaying(), qPrintable(describe(state())));
        if (startPaused) {
            QVERIFY(m_peer->call(QStringLiteral("Pause")));
            QTRY_COMPARE_WITH_TIMEOUT(state().status, PlaybackStatus::paused, 5000);
        }

        if (command == QLatin1String("pause"))
            m_coordinator->send(TransportCommand::pause());
        else if (command == QLatin1String("play"))
            m_coordinator->send(TransportCommand::play());
        else if (command == QLatin1String("toggle"))
            m_coordinator->send(TransportCommand::toggle());
        else if (command == QLatin1String("next"))
            m_coordinator->send(TransportCommand::next());
        else if (command == QLatin1String("seek"))
            m_coordinator->send(TransportCommand::seek(5));
        else
            m_coordinator->seek(0.25);

        QTRY_COMPARE_WITH_TIMEOUT(m_peer->status(), status, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->title(), title, 5000);
        if (position >= 0)
            QTRY_VERIFY2_WITH_TIMEOUT(qAbs(m_peer->position() - position) < 0.5,
                                      qPrintable(QStringLiteral("player at %1 s").arg(m_peer->position())), 5000);

        const PlaybackStatus published = status == QLatin1String("Playing") ? PlaybackStatus::playing : PlaybackStatus::paused;
        const auto follows = [&] {
            const NowPlayingState s = state();
            if (s.status != published || !s.track || s.track->title != title)
                return false;
            return position < 0 || qAbs(s.position(QDateTime::currentDateTimeUtc()) - position) < 0.75;
        };
        QVERIFY2(QTest::qWaitFor(follows, 8000), qPrintable(describe(state())));
        QCOMPARE(activeSource(), QStringLiteral("system"));
    }

    // The adapter's helper is killed three times in a row: the source restarts it after 1 s and 2 s,
    // gives up at the third death, and the coordinator hands the lead to the fallback source. mpv is
    // held (SIGSTOP) meanwhile, so that no restarted helper can report the tone before it is killed (a
    // report in between rightly starts the count again); the player answers nobody for 2 s, longer
    // than it takes to see and kill a helper.
    void givesUpAfterThreeHelperDeaths()
    {
        NowPlayingState fallbackState;
        fallbackState.track = NowPlayingTrack{QStringLiteral("fb"), QStringLiteral("Fallback Song"), QString(), QString(), 100, {}, {}};
        fallbackState.status = PlaybackStatus::paused;
        fallbackState.elapsed = 12;
        fallbackState.capturedAt = QDateTime::currentDateTimeUtc();
        m_fallback->push(fallbackState);

        QVERIFY2(startAndWaitForPlaying(), qPrintable(describe(state())));
        QVERIFY(m_system->location());
        const StreamShape shape = shapeOf(*m_system->location());
        QCOMPARE(streamProcesses(shape).size(), size_t(1));

        const pid_t player = pid_t(m_player->processId());
        QCOMPARE(::kill(player, SIGSTOP), 0);
        std::set<pid_t> killed;
        std::vector<std::chrono::steady_clock::time_point> kills;
        const bool gaveUp = QTest::qWaitFor([&] {
            for (const pid_t pid : streamProcesses(shape)) {
                if (killed.insert(pid).second) { // a killed one may linger until it is reaped
                    ::kill(pid, SIGKILL);
                    kills.push_back(std::chrono::steady_clock::now());
                }
            }
            return m_system->isDisabled();
        }, 15000);
        ::kill(player, SIGCONT);
        QVERIFY2(gaveUp, qPrintable(QStringLiteral("still running after %1 kills").arg(kills.size())));
        QCOMPARE(kills.size(), size_t(3));
        // Each restart waits for its delay after the death before it (the timers may be a little early).
        QVERIFY(kills[1] - kills[0] >= 900ms);
        QVERIFY(kills[2] - kills[1] >= 1800ms);

        QVERIFY(!m_system->isRunning());
        QVERIFY(!m_system->hasStream());
        QTRY_COMPARE_WITH_TIMEOUT(activeSource(), QStringLiteral("applescript"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(m_fallback->isRunning() && m_fallback->hasOpenStream(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(state(), fallbackState, 5000);
        QVERIFY(streamProcesses(shape).empty());
        // The player itself plays on.
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->status(), QStringLiteral("Playing"), 5000);
    }
};

QTEST_GUILESS_MAIN(CoordinatorEndToEnd)
#include "tst_coordinator.moc"
