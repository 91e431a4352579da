// labels: unit
#include "fakes/FakeNowPlayingSource.h"
#include "fakes/ManualClock.h"
#include "nowplaying/NowPlayingCoordinator.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <limits>

using namespace tavrenhold;
using tavrenhold::test::FakeNowPlayingSource;
using Step = FakeNowPlayingSource::Step;
using namespace std::chrono_literals;

namespace {
const QString systemID = QStringLiteral("system");
const QString fallbackID = QStringLiteral("applescript");

NowPlayingState playing(const QString &title, double duration = 200)
{
    NowPlayingState state;
    state.track = NowPlayingTrack{title, title, QStringLiteral("Artist"), QStringLiteral("Album"), duration};
    state.status = PlaybackStatus::playing;
    state.elapsed = 12;
    state.capturedAt = QDateTime(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC);
    state.player = PlayerIdentity{QStringLiteral("com.spotify.client"), QStringLiteral("Spotify")};
    return state;
}

// Runs the event loop long enough for stream readers woken by a push or an end to act.
void settle()
{
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
}

// A coordinator over fake sources on a hand-driven clock. The coordinator owns the sources.
struct Rig {
    test::ManualClock clock;
    FakeNowPlayingSource *system = nullptr;
    FakeNowPlayingSource *fallback = nullptr;
    std::unique_ptr<NowPlayingCoordinator> coordinator;
    QList<NowPlayingState> published; // the state at each stateChanged()

    explicit Rig(bool withSystem = true)
    {
        if (withSystem)
            system = new FakeNowPlayingSource(systemID);
        fallback = new FakeNowPlayingSource(fallbackID);
        coordinator = std::make_unique<NowPlayingCoordinator>(system, fallback, clock);
        QObject::connect(coordinator.get(), &NowPlayingPublisher::stateChanged, coordinator.get(),
                         [this] { published.append(coordinator->state()); });
    }
    ~Rig() { coordinator.reset(); }

    [[nodiscard]] QString activeID() const { return coordinator->activeSourceID().value_or(QStringLiteral("<none>")); }
};
} // namespace

class CoordinatorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void selectsASource_data()
    {
        QTest::addColumn<bool>("withSystem");
        QTest::addColumn<bool>("probeAnswer");
        QTest::addColumn<QString>("activeID");
        QTest::addColumn<QStringList>("systemCalls");
        QTest::addColumn<QStringList>("fallbackCalls");
        QTest::addColumn<bool>("recovering");

        const QStringList activation{"start", "cadence:background", "events"};
        QTest::newRow("system usable") << true << true << systemID << (QStringList{"probe"} + activation)
                                       << QStringList{} << false;
        QTest::newRow("system unusable") << true << false << fallbackID << QStringList{"probe"} << activation << true;
        QTest::newRow("no system") << false << false << fallbackID << QStringList{} << activation << false;
    }
    void selectsASource()
    {
        QFETCH(bool, withSystem);
        QFETCH(bool, probeAnswer);
        QFETCH(QString, activeID);
        QFETCH(QStringList, systemCalls);
        QFETCH(QStringList, fallbackCalls);
        QFETCH(bool, recovering);

        Rig rig(withSystem);
        if (rig.system)
            rig.system->setProbeAnswer(probeAnswer);
        QSignalSpy idChanges(rig.coordinator.get(), &NowPlayingCoordinator::activeSourceIDChanged);
        QVERIFY(!rig.coordinator->activeSourceID());
        QCOMPARE(rig.coordinator->cadence(), NowPlayingCadence::background);

        rig.coordinator->start();
        rig.coordinator->start(); // a second start selects nothing more
        settle();

        QCOMPARE(rig.activeID(), activeID);
        QCOMPARE(idChanges.count(), 1);
        QCOMPARE(rig.system ? rig.system->calls() : QStringList{}, systemCalls);
        QCOMPARE(rig.fallback->calls(), fallbackCalls);
        QCOMPARE(rig.clock.sleepers(), recovering ? 1 : 0);
        QCOMPARE(rig.coordinator->state(), NowPlayingState::idle());
        QVERIFY(rig.published.isEmpty());
        QVERIFY(rig.coordinator->installedPlayers().isEmpty());
        QVERIFY(!rig.coordinator->launchingPlayer());
    }

    void pumpCopiesStatesAndNotifiesOnlyOnChange()
    {
        Rig rig;
        rig.system->setProbeAnswer(true);
        rig.coordinator->start();

        const auto first = playing(QStringLiteral("One"));
        auto second = first;
        second.status = PlaybackStatus::paused;
        rig.system->push(first);
        rig.system->push(first); // equal: reaches the coordinator without a notification
        settle();
        rig.system->push(second);
        QTRY_COMPARE(rig.coordinator->state(), second);
        settle();
        QCOMPARE(rig.published, (QList<NowPlayingState>{first, second}));
    }

    // The active system source ends its stream on its own: the coordinator forgets it and selects
    // again, publishing idle while it switches.
    void endedStreamSelectsAgain_data()
    {
        QTest::addColumn<bool>("stillUsable");
        QTest::addColumn<QString>("activeID");
        QTest::addColumn<QStringList>("systemCalls");
        QTest::addColumn<QStringList>("fallbackCalls");
        QTest::addColumn<bool>("recovering");

        QTest::newRow("falls back") << false << fallbackID << QStringList{"probe", "stop"}
                                    << QStringList{"start", "cadence:background", "events"} << true;
        QTest::newRow("restarts the system source")
            << true << systemID << QStringList{"probe", "stop", "start", "cadence:background", "events"}
            << QStringList{} << false;
    }
    void endedStreamSelectsAgain()
    {
        QFETCH(bool, stillUsable);
        QFETCH(QString, activeID);
        QFETCH(QStringList, systemCalls);
        QFETCH(QStringList, fallbackCalls);
        QFETCH(bool, recovering);

        Rig rig;
        rig.system->setProbeAnswer(true);
        rig.coordinator->start();
        const auto before = playing(QStringLiteral("Before"));
        rig.system->push(before);
        QTRY_COMPARE(rig.coordinator->state(), before);

        const auto waiting = playing(QStringLiteral("Fallback's"));
        rig.fallback->push(waiting); // what the fallback shows once it streams
        QSignalSpy idChanges(rig.coordinator.get(), &NowPlayingCoordinator::activeSourceIDChanged);
        rig.system->clearCalls();
        rig.system->setProbeAnswer(stillUsable);
        rig.system->giveUp();
        QTRY_COMPARE(rig.activeID(), activeID);
        settle();

        QCOMPARE(idChanges.count(), 2); // cleared, then set again
        QCOMPARE(rig.system->calls(), systemCalls);
        QCOMPARE(rig.fallback->calls(), fallbackCalls);
        QCOMPARE(rig.clock.sleepers(), recovering ? 1 : 0);
        const auto shown = stillUsable ? NowPlayingState::idle() : waiting;
        QCOMPARE(rig.coordinator->state(), shown);
        QCOMPARE(rig.published.count(), stillUsable ? 2 : 3);
        QCOMPARE(rig.published.at(1), NowPlayingState::idle());

        // The new stream is the one pumped.
        const auto after = playing(QStringLiteral("After"));
        (stillUsable ? rig.system : rig.fallback)->push(after);
        QTRY_COMPARE(rig.coordinator->state(), after);
    }

    void recoveryRetriesTheSystemSource_data()
    {
        QTest::addColumn<QList<bool>>("answers"); // every probe of the system source, in order
        QTest::addColumn<int>("advanceSeconds");
        QTest::addColumn<QString>("activeID");
        QTest::addColumn<int>("probes");
        QTest::addColumn<QStringList>("fallbackCalls");
        QTest::addColumn<int>("systemStarts");
        QTest::addColumn<bool>("recovering");

        const QStringList activation{"start", "cadence:background", "events"};
        QTest::newRow("not before 45 s") << QList<bool>{false} << 44 << fallbackID << 1 << activation << 0 << true;
        QTest::newRow("still unusable") << QList<bool>{false, false, false} << 90 << fallbackID << 3 << activation
                                        << 0 << true;
        QTest::newRow("usable again") << QList<bool>{false, true, true} << 45 << systemID << 3
                                      << (activation + QStringList{"stop"}) << 1 << false;
        QTest::newRow("usable on the second retry")
            << QList<bool>{false, false, true, true} << 90 << systemID << 4 << (activation + QStringList{"stop"}) << 1
            << false;
        // The retry's probe succeeds, the selection's fails: the fallback restarts with a new retry.
        QTest::newRow("usable for the retry only")
            << QList<bool>{false, true, false} << 45 << fallbackID << 3 << (activation + QStringList{"stop"} + activation)
            << 0 << true;
    }
    void recoveryRetriesTheSystemSource()
    {
        QFETCH(QList<bool>, answers);
        QFETCH(int, advanceSeconds);
        QFETCH(QString, activeID);
        QFETCH(int, probes);
        QFETCH(QStringList, fallbackCalls);
        QFETCH(int, systemStarts);
        QFETCH(bool, recovering);

        Rig rig;
        for (bool answer : answers)
            rig.system->queueProbeAnswers({answer});
        rig.coordinator->start();
        QCOMPARE(rig.activeID(), fallbackID);
        const auto fromFallback = playing(QStringLiteral("From fallback"));
        rig.fallback->push(fromFallback);
        QTRY_COMPARE(rig.coordinator->state(), fromFallback);

        rig.clock.advance(std::chrono::seconds(advanceSeconds));
        settle();

        QCOMPARE(rig.activeID(), activeID);
        QCOMPARE(rig.system->count("probe"), probes);
        QCOMPARE(rig.fallback->calls(), fallbackCalls);
        QCOMPARE(rig.fallback->count("probe"), 0);
        QCOMPARE(rig.system->count("start"), systemStarts);
        QCOMPARE(rig.clock.sleepers(), recovering ? 1 : 0);
        if (activeID == systemID) {
            QCOMPARE(rig.published.last(), NowPlayingState::idle());
            const auto fromSystem = playing(QStringLiteral("From system"));
            rig.system->push(fromSystem);
            QTRY_COMPARE(rig.coordinator->state(), fromSystem);
        }
    }

    void cadenceReachesEachNewlyActiveSource()
    {
        Rig rig;
        rig.system->queueProbeAnswers({false, true, true});
        rig.coordinator->setCadence(NowPlayingCadence::foreground); // stored while nothing is active
        rig.coordinator->start();
        QCOMPARE(rig.fallback->calls(), (QStringList{"start", "cadence:foreground", "events"}));

        rig.coordinator->setCadence(NowPlayingCadence::foreground); // unchanged: not forwarded
        rig.coordinator->setCadence(NowPlayingCadence::suspended);
        QCOMPARE(rig.fallback->calls().last(), QStringLiteral("cadence:suspended"));
        QCOMPARE(rig.fallback->count("cadence:foreground"), 1);

        rig.clock.advance(45s);
        QCOMPARE(rig.activeID(), systemID);
        QCOMPARE(rig.system->calls(), (QStringList{"probe", "probe", "probe", "start", "cadence:suspended", "events"}));
        rig.coordinator->setCadence(NowPlayingCadence::background);
        QCOMPARE(rig.system->calls().last(), QStringLiteral("cadence:background"));
        QCOMPARE(rig.fallback->calls().last(), QStringLiteral("stop"));
    }

    void sendGoesToTheActiveSource()
    {
        Rig rig;
        rig.system->setProbeAnswer(true);
        rig.coordinator->send(TransportCommand::play()); // nothing active yet
        rig.coordinator->start();
        rig.system->clearCalls();

        rig.coordinator->send(TransportCommand::next());
        rig.coordinator->send(TransportCommand::seek(12.5));
        rig.coordinator->send(TransportCommand::seek(std::numeric_limits<double>::quiet_NaN()));
        rig.coordinator->send(TransportCommand::seek(std::numeric_limits<double>::infinity()));
        rig.coordinator->send(TransportCommand::toggle());
        QCOMPARE(rig.system->calls(), (QStringList{"send:next", "send:seek:12.5", "send:toggle"}));
        QCOMPARE(rig.fallback->count("send:play"), 0);

        rig.coordinator->stop();
        rig.coordinator->send(TransportCommand::pause());
        QCOMPARE(rig.system->count("send:pause"), 0);
    }

    void seekUsesTheTrackDuration_data()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<bool>("hasTrack");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("fraction");
        QTest::addColumn<QString>("sent"); // empty: nothing sent

        QTest::newRow("inside") << true << 200.0 << 0.25 << QStringLiteral("send:seek:50");
        QTest::newRow("above 1 clamps") << true << 200.0 << 1.5 << QStringLiteral("send:seek:200");
        QTest::newRow("below 0 clamps") << true << 200.0 << -0.2 << QStringLiteral("send:seek:0");
        QTest::newRow("zero duration") << true << 0.0 << 0.5 << QString();
        QTest::newRow("negative duration") << true << -5.0 << 0.5 << QString();
        QTest::newRow("no track") << false << 200.0 << 0.5 << QString();
        QTest::newRow("fraction not a number") << true << 200.0 << nan << QString();
        QTest::newRow("infinite fraction") << true << 200.0 << inf << QString();
        QTest::newRow("infinite duration") << true << inf << 0.5 << QString();
        QTest::newRow("duration not a number") << true << nan << 0.5 << QString();
    }
    void seekUsesTheTrackDuration()
    {
        QFETCH(bool, hasTrack);
        QFETCH(double, duration);
        QFETCH(double, fraction);
        QFETCH(QString, sent);

        Rig rig;
        rig.system->setProbeAnswer(true);
        rig.coordinator->start();
        auto state = playing(QStringLiteral("Track"), duration);
        if (!hasTrack)
            state.track.reset();
        rig.system->push(state);
        QTRY_VERIFY(rig.published.count() == 1);
        rig.system->clearCalls();

        rig.coordinator->seek(fraction);
        QCOMPARE(rig.system->calls(), sent.isEmpty() ? QStringList{} : QStringList{sent});
    }

    void stopCancelsEverything()
    {
        Rig rig;
        rig.coordinator->start(); // system unusable: the fallback runs with a retry pending
        const auto shown = playing(QStringLiteral("Shown"));
        rig.fallback->push(shown);
        QTRY_COMPARE(rig.coordinator->state(), shown);
        QCOMPARE(rig.clock.sleepers(), 1);

        rig.coordinator->stop();
        QVERIFY(!rig.coordinator->isStarted());
        QVERIFY(!rig.coordinator->activeSourceID());
        QCOMPARE(rig.coordinator->state(), NowPlayingState::idle());
        QCOMPARE(rig.clock.sleepers(), 0);
        QCOMPARE(rig.fallback->calls().last(), QStringLiteral("stop"));
        QVERIFY(!rig.fallback->isRunning());

        // The old stream's end and the old retry schedule trigger nothing.
        settle();
        rig.clock.advance(90s);
        settle();
        QCOMPARE(rig.system->calls(), QStringList{"probe"});
        QCOMPARE(rig.fallback->count("start"), 1);
        QVERIFY(!rig.coordinator->activeSourceID());

        // A later start begins again.
        rig.system->setProbeAnswer(true);
        rig.coordinator->start();
        QCOMPARE(rig.activeID(), systemID);
        QVERIFY(rig.system->isRunning());
    }

    void destroyedWhileRunning()
    {
        auto rig = std::make_unique<Rig>();
        rig->coordinator->start();
        rig->fallback->push(playing(QStringLiteral("Playing")));
        settle();
        rig->coordinator.reset(); // takes the sources with it
        settle();
        QCOMPARE(rig->clock.sleepers(), 0);
        rig->clock.advance(90s);
        settle();
    }

    // Selections overlap when a source's stream ends while a retry's selection waits on a source.
    // They run one after the other: the system source is started and pumped once.
    void overlappingSelectionsRunOnePump()
    {
        Rig rig;
        rig.system->queueProbeAnswers({false});
        rig.system->setProbeAnswer(true);
        rig.coordinator->start();
        QCOMPARE(rig.activeID(), fallbackID);

        rig.system->hold(Step::probe);
        rig.fallback->hold(Step::stop);
        rig.clock.advance(45s); // the retry waits on its probe
        QCOMPARE(rig.system->waiting(Step::probe), 1);
        rig.fallback->giveUp(); // meanwhile the fallback's stream ends: a second selection
        settle();
        rig.system->release(Step::probe);
        settle();
        rig.fallback->release(Step::stop);
        settle();

        QCOMPARE(rig.activeID(), systemID);
        QCOMPARE(rig.system->count("start"), 1);
        QCOMPARE(rig.system->count("events"), 1);
        QVERIFY(rig.system->hasOpenStream());
        QCOMPARE(rig.clock.sleepers(), 0);
        const int probes = rig.system->count("probe");
        const auto shown = playing(QStringLiteral("Shown"));
        rig.system->push(shown);
        QTRY_COMPARE(rig.coordinator->state(), shown);
        settle();
        QCOMPARE(rig.system->count("probe"), probes); // no selection is left running
        QCOMPARE(rig.system->count("start"), 1);
    }

    // stop() while a selection waits on the candidate: once the wait ends, no source is left running
    // and nothing is pumped; a start() in between gets a clean selection of its own.
    void stopDuringSelection_data()
    {
        QTest::addColumn<int>("heldStep");
        QTest::addColumn<bool>("restart");

        for (Step step : {Step::probe, Step::start, Step::setCadence, Step::events}) {
            const char *name = step == Step::probe ? "probe"
                : step == Step::start              ? "start"
                : step == Step::setCadence         ? "setCadence"
                                                   : "events";
            QTest::addRow("stop at %s", name) << int(step) << false;
            QTest::addRow("stop and start at %s", name) << int(step) << true;
        }
    }
    void stopDuringSelection()
    {
        QFETCH(int, heldStep);
        QFETCH(bool, restart);
        const auto step = Step(heldStep);

        Rig rig;
        rig.system->setProbeAnswer(true);
        rig.system->hold(step);
        rig.coordinator->start();
        QCOMPARE(rig.system->waiting(step), 1);

        rig.coordinator->stop();
        if (restart)
            rig.coordinator->start();
        rig.system->release(step);
        settle();

        QCOMPARE(rig.fallback->count("start"), 0);
        QCOMPARE(rig.clock.sleepers(), 0);
        if (!restart) {
            QVERIFY(!rig.system->isRunning());
            QVERIFY(!rig.system->hasOpenStream());
            QVERIFY(!rig.coordinator->activeSourceID());
            rig.system->push(playing(QStringLiteral("Late")));
            settle();
            QCOMPARE(rig.coordinator->state(), NowPlayingState::idle());
            QVERIFY(rig.published.isEmpty());
        } else {
            QCOMPARE(rig.activeID(), systemID);
            QVERIFY(rig.system->isRunning());
            QVERIFY(rig.system->hasOpenStream());
            const auto shown = playing(QStringLiteral("Shown"));
            rig.system->push(shown);
            QTRY_COMPARE(rig.coordinator->state(), shown);
            settle();
            QCOMPARE(rig.published, QList<NowPlayingState>{shown});
        }
    }
};

QTEST_GUILESS_MAIN(CoordinatorTest)
#include "tst_coordinator.moc"
