// labels: unit
#include "ShellFixture.h"
#include "music/MusicPane.h"
#include "panes/FakePublisher.h"

#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;

namespace {

IdleSignal waves(int count)
{
    // The focused pane's rotating item plus waveforms of other panes make up the rotor.
    IdleSignal s;
    s.rotating = IdleWaveform{std::vector<float>(size_t(count), 0.5f)};
    return s;
}

IdleSignal pulsing(int pulse)
{
    IdleSignal s;
    s.pulse = pulse;
    return s;
}

NowPlayingState playing(const QDateTime &at)
{
    NowPlayingState state;
    state.track = NowPlayingTrack{QStringLiteral("t"), QStringLiteral("Song"), QString(), QString(), 100, {}, {}};
    state.status = PlaybackStatus::playing;
    state.elapsed = 40;
    state.capturedAt = at;
    return state;
}

} // namespace

class RotorPulseTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    // Each advance waits one dwell of 3.4 s; the index wraps at the count.
    void rotorAdvancesAndWraps()
    {
        ShellEnv env;
        auto model = env.make();
        QSignalSpy index(model.get(), &NotchShellModel::rotorIndexChanged);
        model->runRotor(3);
        env.clock.advance(3399ms);
        QCOMPARE(model->rotorIndex(), 0);
        env.clock.advance(1ms);
        QCOMPARE(model->rotorIndex(), 1);
        env.clock.advance(3400ms);
        QCOMPARE(model->rotorIndex(), 2);
        env.clock.advance(3400ms);
        QCOMPARE(model->rotorIndex(), 0);
        QCOMPARE(index.count(), 3);
    }

    // Fewer than two entries: no loop, index back to 0 (told once).
    void shortRotorStopsTheLoop_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one entry") << 1;
        QTest::newRow("no entry") << 0;
    }
    void shortRotorStopsTheLoop()
    {
        QFETCH(int, count);
        ShellEnv env;
        auto model = env.make();
        model->runRotor(2);
        env.clock.advance(3400ms);
        QCOMPARE(model->rotorIndex(), 1);

        QSignalSpy index(model.get(), &NotchShellModel::rotorIndexChanged);
        model->runRotor(count);
        QCOMPARE(model->rotorIndex(), 0);
        QCOMPARE(env.clock.sleepers(), 0);
        env.clock.advance(10s);
        QCOMPARE(model->rotorIndex(), 0);
        model->runRotor(count);
        QCOMPARE(index.count(), 1);
    }

    // A new loop starts from a fresh dwell and keeps the index; the shown index is held within the
    // rotor until the next advance wraps it.
    void restartKeepsTheIndex()
    {
        ShellEnv env;
        auto model = env.make();
        model->runRotor(5);
        for (int i = 0; i < 4; ++i)
            env.clock.advance(3400ms);
        QCOMPARE(model->rotorIndex(), 4);

        env.clock.advance(2000ms);
        model->runRotor(3);
        QCOMPARE(model->rotorIndex(), 4);
        env.clock.advance(2000ms);
        QCOMPARE(model->rotorIndex(), 4);
        env.clock.advance(1400ms);
        QCOMPARE(model->rotorIndex(), 2); // (4 + 1) mod 3
        QCOMPARE(env.clock.sleepers(), 1);

        model->cancelRotor();
        env.clock.advance(10s);
        QCOMPARE(model->rotorIndex(), 2);
        QCOMPARE(env.clock.sleepers(), 0);
    }

    // The idle bar restarts the rotor only when its entries change by equality, through `rotor`'s
    // notification and syncRotor().
    void viewRestartsOnlyOnChangedEntries()
    {
        ShellEnv env(QJsonObject{{NotchShellModel::focusedPaneKey, "notes"}});
        env.addAllPanes();
        env.paneNamed("notes")->setIdle(waves(1));
        auto model = env.make();
        QObject::connect(model.get(), &NotchShellModel::rotorChanged, model.get(), &NotchShellModel::syncRotor);
        QSignalSpy rotor(model.get(), &NotchShellModel::rotorChanged);
        model->syncRotor(); // the bar shows
        env.clock.advance(10s);
        QCOMPARE(model->rotorIndex(), 0);

        // Grows from 1 to 3 entries: the first advance 3.4 s later.
        env.clock.advance(1000ms);
        env.paneNamed("music")->setIdle(waves(2));
        env.paneNamed("drop")->setIdle(waves(3));
        QCOMPARE(rotor.count(), 2);
        env.clock.advance(3399ms);
        QCOMPARE(model->rotorIndex(), 0);
        env.clock.advance(1ms);
        QCOMPARE(model->rotorIndex(), 1);

        // Equal entries again: no restart, the loop keeps its rhythm.
        env.clock.advance(2000ms);
        env.paneNamed("drop")->setIdle(waves(3));
        QCOMPARE(rotor.count(), 2);
        env.clock.advance(1400ms);
        QCOMPARE(model->rotorIndex(), 2);
    }

    void modelGoneWhileTheRotorSleeps()
    {
        ShellEnv env;
        auto model = env.make();
        model->runRotor(3);
        model.reset();
        env.clock.advance(10s);
        QCOMPARE(env.clock.sleepers(), 0);
    }

    // A rise of the panes' pulse total swells the surface at start or at the next phase change, for
    // 0.22 s.
    void pulseAtPhaseChange()
    {
        ShellEnv env;
        env.addAllPanes();
        auto model = env.make();
        QSignalSpy scale(model.get(), &NotchShellModel::pulseScaleChanged);
        model->start();
        QCOMPARE(model->pulseScale(), 1.0);

        env.paneNamed("drop")->setIdle(pulsing(1));
        env.paneNamed("focus")->setIdle(pulsing(2));
        QCOMPARE(model->pulse(), 3);
        QCOMPARE(model->pulseScale(), 1.0);

        model->setPhase(NotchPhase::idle); // the same phase: nothing
        QCOMPARE(model->pulseScale(), 1.0);
        model->setPhase(NotchPhase::proximity);
        QCOMPARE(model->pulseScale(), NotchShellModel::pulsePeak);
        env.clock.advance(219ms);
        QCOMPARE(model->pulseScale(), NotchShellModel::pulsePeak);
        env.clock.advance(1ms);
        QCOMPARE(model->pulseScale(), 1.0);
        QCOMPARE(scale.count(), 2);

        // The total is unchanged: no pulse at the next change.
        model->setPhase(NotchPhase::idle);
        QCOMPARE(model->pulseScale(), 1.0);
        // A hidden pane counts too.
        env.preferences->setVisible(PaneID::drop, false);
        model->syncPanePreferences();
        env.paneNamed("drop")->setIdle(pulsing(2));
        model->setPhase(NotchPhase::expanded);
        QCOMPARE(model->pulseScale(), NotchShellModel::pulsePeak);
        env.clock.advance(220ms);
        QCOMPARE(model->pulseScale(), 1.0);
    }

    void pulseAtStart()
    {
        ShellEnv env;
        env.addAllPanes();
        env.paneNamed("focus")->setIdle(pulsing(4));
        auto model = env.make();
        model->start();
        QCOMPARE(model->pulseScale(), NotchShellModel::pulsePeak);
        env.clock.advance(220ms);
        QCOMPARE(model->pulseScale(), 1.0);
    }

    void reduceMotionFollowsTheDesktop()
    {
        ShellEnv env;
        auto model = env.make();
        QSignalSpy spy(model.get(), &NotchShellModel::reduceMotionChanged);
        env.appearance.setReduceMotion(true);
        QVERIFY(model->reduceMotion());
        QCOMPARE(spy.count(), 1);
    }

    // startServices() starts the Music pane's services (start() alone does not); the pane's offer then
    // reaches the composition.
    void startServicesStartsTheMusicServices()
    {
        ShellEnv env(QJsonObject{{NotchShellModel::focusedPaneKey, "music"}});
        auto *publisher = new FakePublisher;
        MusicPane music(publisher, env.clock);
        env.addPanes({"usage"});
        env.extraPanes.push_back(&music);
        auto model = env.make();
        QSignalSpy rotor(model.get(), &NotchShellModel::rotorChanged);

        model->start();
        QVERIFY(publisher->calls.isEmpty());
        model->startServices();
        QCOMPARE(publisher->calls, QStringList{"start"});
        QVERIFY(!model->composition().identity);

        publisher->publish(playing(env.clock.wallNow()));
        QCoreApplication::processEvents(); // the pane takes a state on the next turn
        QCOMPARE(rotor.count(), 1);
        const IdleComposition c = model->composition();
        QVERIFY(c.identity && std::holds_alternative<IdleArtwork>(c.identity->item));
        QCOMPARE(c.progressPane, std::optional(PaneID::music));
        QCOMPARE(*c.progress, 0.4);

        model->setPhase(NotchPhase::expanded);
        QCOMPARE(publisher->calls.last(), QStringLiteral("cadence:foreground"));
        model->setPhase(NotchPhase::idle);
        QCOMPARE(publisher->calls.last(), QStringLiteral("cadence:background"));
    }
};

QTEST_GUILESS_MAIN(RotorPulseTest)
#include "tst_rotorpulse.moc"
