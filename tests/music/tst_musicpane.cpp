// The Music pane over a recording service and a manual clock: the seek pin, the display timer and
// its intervals, Reduce Motion, the fraction's smallest step, the cadence, the artwork rules across
// tracks and players, and the idle signal.
#include "MusicRig.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::optional<Millis>)
Q_DECLARE_METATYPE(std::vector<float>)

class MusicPaneTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // After seek(0.5) on a 200 s track the display is at 0.5 at once and holds while the player
    // still reports its old position, until 1.2 s have passed.
    void seekPinHoldsThenExpires()
    {
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 20, rig.clock.wallNow()));
        rig.publisher->calls.clear();

        rig.pane.seek(0.5);
        QCOMPARE(rig.pane.fraction(), 0.5);
        QCOMPARE(rig.pane.elapsed(), 100.0);
        QCOMPARE(rig.publisher->calls, QStringList{"seek:0.5"});

        // The player answers with a new state that still says 20 s.
        rig.clock.advance(600ms);
        auto stale = makeState(makeTrack("a", 200), PlaybackStatus::paused, 20.5, rig.clock.wallNow());
        rig.publish(stale);
        QCOMPARE(rig.pane.fraction(), 0.5);
        QCOMPARE(rig.pane.elapsed(), 100.0);

        rig.clock.advance(700ms);
        stale.elapsed = 21;
        rig.publish(stale);
        QCOMPARE(rig.pane.fraction(), 21.0 / 200);
        QCOMPARE(rig.pane.elapsed(), 21.0);
    }

    void seekPinDropsOnceCaughtUp()
    {
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 20, rig.clock.wallNow()));
        rig.pane.seek(0.5);
        // Within 0.015 of the pin: the reported position shows from now on.
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 98, rig.clock.wallNow()));
        QCOMPARE(rig.pane.fraction(), 0.49);
        QCOMPARE(rig.pane.elapsed(), 98.0);
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 20, rig.clock.wallNow()));
        QCOMPARE(rig.pane.fraction(), 0.1);
    }

    // A new track, or a new player with the same track identifier, clears the pin at once and lands
    // without animation.
    void newTrackOrPlayerClearsThePin_data()
    {
        QTest::addColumn<QString>("trackID");
        QTest::addColumn<PlayerIdentity>("player");
        QTest::newRow("new track") << QStringLiteral("b") << spotify;
        QTest::newRow("new player") << QStringLiteral("a") << music;
    }
    void newTrackOrPlayerClearsThePin()
    {
        QFETCH(QString, trackID);
        QFETCH(PlayerIdentity, player);
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 20, rig.clock.wallNow()));
        QTRY_VERIFY(!rig.pane.animationsDisabled());
        rig.pane.seek(0.5);
        QSignalSpy animations(&rig.pane, &MusicPane::animationsDisabledChanged);
        QSignalSpy fraction(&rig.pane, &MusicPane::fractionChanged);
        rig.publisher->publish(makeState(makeTrack(trackID, 200), PlaybackStatus::paused, 20, rig.clock.wallNow(), player));
        // Switched off before the new values land, and on again on the next turn.
        QTRY_COMPARE(animations.count(), 2);
        QCOMPARE(fraction.count(), 1);
        QCOMPARE(rig.pane.fraction(), 0.1);
        QVERIFY(!rig.pane.animationsDisabled());
    }

    void seekArguments_data()
    {
        QTest::addColumn<double>("argument");
        QTest::addColumn<bool>("acts");
        QTest::addColumn<double>("fraction");
        QTest::newRow("below") << -1.0 << true << 0.0;
        QTest::newRow("above") << 7.0 << true << 1.0;
        QTest::newRow("inside") << 0.25 << true << 0.25;
        QTest::newRow("nan") << std::nan("") << false << 0.1;
        QTest::newRow("+inf") << std::numeric_limits<double>::infinity() << false << 0.1;
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << false << 0.1;
    }
    void seekArguments()
    {
        QFETCH(double, argument);
        QFETCH(bool, acts);
        QFETCH(double, fraction);
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 20, rig.clock.wallNow()));
        rig.publisher->calls.clear();
        QSignalSpy moved(&rig.pane, &MusicPane::fractionChanged);
        rig.pane.seek(argument);
        QCOMPARE(rig.pane.fraction(), fraction);
        QCOMPARE(rig.publisher->calls.size(), acts ? 1 : 0);
        if (!acts) {
            QCOMPARE(moved.count(), 0);
            // No pin either: a later report shows at once.
            rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 40, rig.clock.wallNow()));
            QCOMPARE(rig.pane.fraction(), 0.2);
        }
    }

    // A track whose duration is 0 shows fraction 0 and elapsed stays the reported position.
    void zeroDuration()
    {
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 0), PlaybackStatus::paused, 0, rig.clock.wallNow()));
        QCOMPARE(rig.pane.fraction(), 0.0);
        rig.pane.seek(0.5);
        QCOMPARE(rig.pane.elapsed(), 0.0);
        rig.clock.advance(2s);
        rig.publish(makeState(makeTrack("a", 0), PlaybackStatus::paused, 3, rig.clock.wallNow()));
        QCOMPARE(rig.pane.fraction(), 0.0);
    }

    void tickerIntervals_data()
    {
        QTest::addColumn<PlaybackStatus>("status");
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<bool>("active");
        QTest::addColumn<std::optional<Millis>>("interval");
        QTest::addColumn<std::vector<float>>("levels");
        const std::optional<Millis> none;
        QTest::newRow("playing shown") << PlaybackStatus::playing << false << true << std::optional(83ms)
                                       << std::vector<float>{};
        QTest::newRow("playing hidden") << PlaybackStatus::playing << false << false << std::optional(167ms)
                                        << std::vector<float>{};
        QTest::newRow("playing reduced") << PlaybackStatus::playing << true << true << none
                                         << MusicPane::stillLevels();
        QTest::newRow("paused") << PlaybackStatus::paused << false << true << none << MusicPane::flatLevels();
        QTest::newRow("stopped") << PlaybackStatus::stopped << false << false << none << MusicPane::flatLevels();
    }
    void tickerIntervals()
    {
        QFETCH(PlaybackStatus, status);
        QFETCH(bool, reduceMotion);
        QFETCH(bool, active);
        QFETCH(std::optional<Millis>, interval);
        QFETCH(std::vector<float>, levels);
        MusicRig rig;
        rig.appearance.setReduceMotion(reduceMotion);
        rig.pane.startServices();
        if (active)
            rig.pane.activate();
        rig.publish(makeState(makeTrack("a", 200), status, 20, rig.clock.wallNow()));
        QCOMPARE(rig.pane.tickerInterval(), interval);
        QCOMPARE(rig.clock.sleepers(), interval ? 1 : 0);
        if (!levels.empty())
            QCOMPARE(rig.pane.levels(), levels);
        // Reduce Motion is read afresh: turning it on stops the timer at the next sync.
        if (interval) {
            rig.appearance.setReduceMotion(true);
            rig.pane.deactivate();
            QCOMPARE(rig.pane.tickerInterval(), std::nullopt);
            QCOMPARE(rig.pane.levels(), MusicPane::stillLevels());
        }
    }

    // Activating retimes a running timer from 1/6 s to 1/12 s; a second activate keeps it.
    void activationRetimesTheTimer()
    {
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::playing, 20, rig.clock.wallNow()));
        QCOMPARE(rig.pane.tickerInterval(), std::optional(167ms));
        rig.pane.activate();
        QCOMPARE(rig.pane.tickerInterval(), std::optional(83ms));
        QCOMPARE(rig.clock.sleepers(), 1);
        rig.clock.advance(50ms);
        rig.pane.activate();
        QSignalSpy levels(&rig.pane, &MusicPane::levelsChanged);
        rig.clock.advance(33ms); // the kept timer fires 83 ms after it was made
        QCOMPARE(levels.count(), 1);
        rig.pane.deactivate();
        QCOMPARE(rig.pane.tickerInterval(), std::optional(167ms));
        QCOMPARE(rig.clock.sleepers(), 1);
    }

    // Ticks move the bars and the whole seconds; the fraction moves only in steps above 0.0015.
    void ticks_data()
    {
        QTest::addColumn<double>("duration");
        QTest::addColumn<bool>("fractionMovesEachTick");
        QTest::newRow("short track") << 10.0 << true;   // 1/12 s is 0.0083 of it
        QTest::newRow("long track") << 1000.0 << false; // 0.000083 a tick
    }
    void ticks()
    {
        QFETCH(double, duration);
        QFETCH(bool, fractionMovesEachTick);
        MusicRig rig;
        rig.pane.startServices();
        rig.pane.activate();
        rig.publish(makeState(makeTrack("a", duration), PlaybackStatus::playing, 2, rig.clock.wallNow()));
        const double start = rig.pane.fraction();
        QSignalSpy fraction(&rig.pane, &MusicPane::fractionChanged);
        QSignalSpy elapsed(&rig.pane, &MusicPane::elapsedChanged);
        rig.clock.advance(83ms);
        QVERIFY(rig.pane.levels() != MusicPane::flatLevels());
        QCOMPARE(fraction.count(), fractionMovesEachTick ? 1 : 0);
        for (int i = 0; i < 24; ++i)
            rig.clock.advance(83ms);
        QCOMPARE(rig.pane.elapsed(), 4.0); // 2 + 25 × 0.083 s
        QCOMPARE(elapsed.count(), 2);
        if (!fractionMovesEachTick) {
            // 25 ticks move 0.0021: shown in steps above 0.0015 only.
            QCOMPARE(fraction.count(), 1);
            QVERIFY(rig.pane.fraction() - start > 0.0015);
        }
        // A pause stops the timer at its next firing and rests the bars.
        rig.publisher->publish(makeState(makeTrack("a", duration), PlaybackStatus::paused, 4, rig.clock.wallNow()));
        rig.clock.advance(83ms);
        QCOMPARE(rig.pane.levels(), MusicPane::flatLevels());
        QCOMPARE(rig.clock.sleepers(), 0);
    }

    void cadenceFollowsUpdatesWhileHidden()
    {
        MusicRig rig;
        rig.pane.startServices();
        rig.publisher->calls.clear();
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QCOMPARE(rig.publisher->calls, QStringList{"cadence:background"});
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::stopped, 0, rig.clock.wallNow()));
        QCOMPARE(rig.publisher->calls.last(), QStringLiteral("cadence:suspended"));
        // An update without a track leaves the cadence alone.
        rig.publisher->calls.clear();
        rig.publish(NowPlayingState::idle());
        QVERIFY(rig.publisher->calls.isEmpty());
        rig.pane.activate();
        rig.publisher->calls.clear();
        rig.publish(makeState(makeTrack("b", 200), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QVERIFY(rig.publisher->calls.isEmpty());
    }

    // Embedded artwork shows at once; a new track from the same player keeps the old picture; a new
    // player clears it; a vanished track clears it.
    void artworkAcrossTracksAndPlayers()
    {
        MusicRig rig;
        rig.pane.startServices();
        const NotchImage art{QStringLiteral("a"), pngBytes()};
        rig.publish(makeState(makeTrack("a", 200, {}, art), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QCOMPARE(rig.pane.artwork(), std::optional(art));
        QVERIFY(*rig.pane.idle().identity == IdleItem(IdleArtwork{art}));

        rig.publish(makeState(makeTrack("b", 200), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QCOMPARE(rig.pane.artwork(), std::optional(art));

        rig.publish(makeState(makeTrack("c", 200), PlaybackStatus::playing, 0, rig.clock.wallNow(), music));
        QCOMPARE(rig.pane.artwork(), std::nullopt);

        const NotchImage artD{QStringLiteral("d"), pngBytes(Qt::blue)};
        rig.publish(makeState(makeTrack("d", 200, {}, artD), PlaybackStatus::playing, 0, rig.clock.wallNow(), music));
        QCOMPARE(rig.pane.artwork(), std::optional(artD));
        rig.publish(NowPlayingState::idle());
        QCOMPARE(rig.pane.artwork(), std::nullopt);
        QVERIFY(rig.pane.idle() == IdleSignal::inactive);
    }

    // Artwork bytes that do not decode still become the artwork; the accent clears.
    void undecodableArtworkIsKept()
    {
        MusicRig rig;
        rig.pane.startServices();
        const NotchImage good{QStringLiteral("a"), pngBytes()};
        rig.publish(makeState(makeTrack("a", 200, {}, good), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QTRY_VERIFY(GradientWash::shared().hasAccent());
        const NotchImage bad{QStringLiteral("b"), QByteArray("not a picture")};
        rig.publish(makeState(makeTrack("b", 200, {}, bad), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QCOMPARE(rig.pane.artwork(), std::optional(bad));
        QTRY_VERIFY(!GradientWash::shared().hasAccent());
        rig.pane.stopServices();
    }

    // Paused is still live with the resting bars; stopped is not live.
    void idleSignal_data()
    {
        QTest::addColumn<PlaybackStatus>("status");
        QTest::addColumn<bool>("live");
        QTest::newRow("playing") << PlaybackStatus::playing << true;
        QTest::newRow("paused") << PlaybackStatus::paused << true;
        QTest::newRow("stopped") << PlaybackStatus::stopped << false;
    }
    void idleSignal()
    {
        QFETCH(PlaybackStatus, status);
        QFETCH(bool, live);
        MusicRig rig;
        rig.pane.startServices();
        rig.pane.activate();
        rig.publish(makeState(makeTrack("a", 200), status, 50, rig.clock.wallNow()));
        QSignalSpy idleChanged(&rig.pane, &NotchPane::idleChanged);
        rig.clock.advance(83ms);
        const IdleSignal idle = rig.pane.idle();
        if (!live) {
            QVERIFY(idle == IdleSignal::inactive);
            return;
        }
        QVERIFY(idle.isLive);
        QCOMPARE(idle.priority, 100);
        QVERIFY(idle.rotating && *idle.rotating == IdleItem(IdleWaveform{rig.pane.levels()}));
        QCOMPARE(*idle.progress, rig.pane.fraction());
        // Playing, the tick's new bars reach the collapsed bar.
        QCOMPARE(idleChanged.count(), status == PlaybackStatus::playing ? 1 : 0);
    }

    void stopServicesStopsEverything()
    {
        MusicRig rig;
        rig.pane.startServices();
        rig.pane.activate();
        rig.publish(makeState(makeTrack("a", 200, {}, NotchImage{QStringLiteral("a"), pngBytes()}),
                              PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QTRY_VERIFY(GradientWash::shared().hasAccent());
        rig.pane.stopServices();
        QVERIFY(!GradientWash::shared().hasAccent());
        QCOMPARE(rig.clock.sleepers(), 0);
        QCOMPARE(rig.publisher->calls.last(), QStringLiteral("stop"));
        rig.publish(NowPlayingState::idle());
        QCOMPARE(rig.pane.artwork(), std::nullopt);
        QCOMPARE(rig.pane.fraction(), 0.0);
        // A late playing state moves the display but starts no timer.
        rig.publish(makeState(makeTrack("b", 200), PlaybackStatus::playing, 40, rig.clock.wallNow()));
        QCOMPARE(rig.pane.fraction(), 0.2);
        QCOMPARE(rig.clock.sleepers(), 0);
    }
};

QTEST_MAIN(MusicPaneTest)
#include "tst_musicpane.moc"
