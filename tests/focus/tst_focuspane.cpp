// labels: unit
// The Focus pane over a manual clock and a store of its own: one sleep per running phase, the
// phase completing at its deadline (also across a suspend), no pulse without a completion, a
// relaunch that catches up without writing, and an unreadable record kept aside.
#include "fakes/ManualClock.h"
#include "focus/FocusPane.h"
#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {
struct Rig {
    QTemporaryDir dir;
    test::ManualClock clock;
    std::unique_ptr<platform::Defaults> defaults;
    std::unique_ptr<FocusPane> pane;

    Rig() { reopenStore(); }
    void reopenStore() { defaults = std::make_unique<platform::Defaults>(dir.filePath(QStringLiteral("defaults.json"))); }
    // A new run of the program over the same store.
    FocusPane &launch()
    {
        pane.reset();
        reopenStore();
        pane = std::make_unique<FocusPane>(*defaults, clock);
        return *pane;
    }
    [[nodiscard]] std::optional<PomodoroState> stored() const
    {
        platform::Defaults reread(dir.filePath(QStringLiteral("defaults.json")));
        const auto data = reread.data(FocusPane::defaultsKey);
        if (!data)
            return std::nullopt;
        auto decoded = decodePomodoro(*data);
        return decoded ? std::optional(decoded.value()) : std::nullopt;
    }
    [[nodiscard]] double now() const { return referenceSeconds(clock.wallNow()); }
};
} // namespace

class FocusPaneTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startPauseResumeKeepOneSleeper()
    {
        Rig rig;
        FocusPane &pane = rig.launch();
        QCOMPARE(rig.clock.sleepers(), 0);
        QSignalSpy pulses(&pane, &FocusPane::pulseChanged);

        pane.toggle(); // start: 25 minutes
        QCOMPARE(rig.clock.sleepers(), 1);
        rig.clock.advance(10min);
        pane.toggle(); // pause with 15 left
        QCOMPARE(rig.clock.sleepers(), 0);
        rig.clock.advance(60min);
        pane.toggle(); // resume
        QCOMPARE(rig.clock.sleepers(), 1);
        QCOMPARE(rig.stored()->run, FocusRunState(FocusRunning{rig.now() + 900}));

        rig.clock.advance(15min - 1ms);
        QVERIFY(pane.state().isRunning());
        QCOMPARE(pulses.count(), 0);
        rig.clock.advance(1ms);
        QCOMPARE(pane.state().phase, FocusPhase::shortBreak);
        QVERIFY(pane.state().isIdle());
        QCOMPARE(pane.state().roundsToday, 1);
        QCOMPARE(pulses.count(), 1);
        QCOMPARE(pane.pulse(), 1);
        QCOMPARE(rig.clock.sleepers(), 0);
        QCOMPARE(rig.stored(), std::optional(pane.state()));
    }

    // A suspend moves the wall clock and nothing else: the phase completes as soon as it is seen.
    void suspendPastTheDeadlineCompletesAtOnce()
    {
        Rig rig;
        FocusPane &pane = rig.launch();
        pane.toggle();
        rig.clock.setWall(rig.clock.wallNow().addSecs(3600));
        QCOMPARE(pane.state().phase, FocusPhase::shortBreak);
        QCOMPARE(pane.pulse(), 1);
        QCOMPARE(rig.clock.sleepers(), 0);
    }

    // A clock set back wakes the sleep early: nothing completes, no pulse, and the phase still
    // ends at its deadline by the new clock.
    void clockSetBackCompletesNothing()
    {
        Rig rig;
        FocusPane &pane = rig.launch();
        QSignalSpy idles(&pane, &NotchPane::idleChanged);
        pane.toggle();
        const auto deadline = std::get<FocusRunning>(pane.state().run).deadline;
        idles.clear();
        rig.clock.setWall(rig.clock.wallNow().addSecs(-3600));
        QVERIFY(pane.state().isRunning());
        QCOMPARE(pane.pulse(), 0);
        QCOMPARE(idles.count(), 0);
        QCOMPARE(rig.clock.sleepers(), 1);
        rig.clock.advance(std::chrono::milliseconds(qint64((deadline - rig.now()) * 1000)));
        QCOMPARE(pane.state().phase, FocusPhase::shortBreak);
        QCOMPARE(pane.pulse(), 1);
    }

    // A deadline days away is slept towards a day at a time.
    void farDeadlinesSleepADayAtATime()
    {
        Rig rig;
        FocusPane &pane = rig.launch();
        PomodoroState far = pane.state();
        far.run = FocusPaused{3 * 86400.0};
        far.runDuration = 3 * 86400.0;
        pane.setState(far);
        pane.toggle();
        rig.clock.advance(24h);
        QVERIFY(pane.state().isRunning());
        QCOMPARE(rig.clock.sleepers(), 1);
        QCOMPARE(pane.pulse(), 0);
        rig.clock.advance(48h);
        QCOMPARE(pane.state().phase, FocusPhase::shortBreak);
        QCOMPARE(pane.pulse(), 1);
    }

    void relaunch_data()
    {
        QTest::addColumn<int>("minutesAway");
        QTest::addColumn<bool>("completed");
        QTest::newRow("before the deadline") << 5 << false;
        QTest::newRow("after the deadline") << 40 << true;
    }
    void relaunch()
    {
        QFETCH(int, minutesAway);
        QFETCH(bool, completed);
        Rig rig;
        rig.launch().toggle();
        rig.clock.advance(15min); // quit with 10 minutes left
        rig.pane.reset();
        QCOMPARE(rig.clock.sleepers(), 0); // a gone pane leaves no sleep behind
        const auto before = rig.stored();
        rig.clock.advance(std::chrono::minutes(minutesAway));

        FocusPane &pane = rig.launch();
        QCOMPARE(pane.pulse(), 0);
        QCOMPARE(rig.stored(), before); // nothing written at start
        if (completed) {
            QCOMPARE(pane.state().phase, FocusPhase::shortBreak);
            QVERIFY(pane.state().isIdle());
            QCOMPARE(rig.clock.sleepers(), 0);
        } else {
            QCOMPARE(pane.state().remaining(rig.now()), 300.0);
            QCOMPARE(rig.clock.sleepers(), 1);
        }
    }

    void operations()
    {
        Rig rig;
        FocusPane &pane = rig.launch();
        // Skipping an idle work phase counts a round and pulses.
        pane.skip();
        QCOMPARE(pane.state().phase, FocusPhase::shortBreak);
        QCOMPARE(pane.state().roundsToday, 1);
        QCOMPARE(pane.pulse(), 1);
        // Reset during a break keeps the break at its full length.
        pane.toggle();
        rig.clock.advance(1min);
        pane.reset();
        QCOMPARE(pane.state().phase, FocusPhase::shortBreak);
        QCOMPARE(pane.state().remaining(rig.now()), 300.0);
        QCOMPARE(rig.clock.sleepers(), 0);
        // Resetting today's rounds leaves a running phase and its sleep alone.
        pane.toggle();
        pane.resetRoundsToday();
        QCOMPARE(pane.state().roundsToday, 0);
        QCOMPARE(pane.state().roundsDay, std::optional(startOfDay(rig.now())));
        QVERIFY(pane.state().isRunning());
        QCOMPARE(rig.clock.sleepers(), 1);
        QCOMPARE(rig.stored(), std::optional(pane.state()));
    }

    void idleSignal()
    {
        Rig rig;
        FocusPane &pane = rig.launch();
        pane.skip();
        pane.skip(); // back to work, one round counted
        QCOMPARE(pane.idle(), IdleSignal::inactive);

        pane.toggle();
        rig.clock.advance(5min);
        IdleSignal running = pane.idle();
        QVERIFY(running.isLive);
        QCOMPARE(running.priority, 90);
        QCOMPARE(running.pulse, 2);
        const auto ring = std::get<IdleRing>(*running.pinnedLeading);
        QCOMPARE(ring.label, QStringLiteral("20:00"));
        QCOMPARE(ring.progress, 0.2);
        QVERIFY(ring.span);
        QCOMPARE(ring.span->lower.secsTo(ring.span->upper), 1500);
        QCOMPARE(ring.span->upper, rig.clock.wallNow().addSecs(1200));

        pane.toggle();
        const auto paused = std::get<IdleRing>(*pane.idle().pinnedLeading);
        QCOMPARE(paused.label, QStringLiteral("20:00"));
        QCOMPARE(paused.span, std::nullopt);
    }

    // An unreadable record is copied beside the store before the defaults take its place, so the
    // next write loses nothing; the stored value itself stays until then, and later starts find
    // the copy there instead of making another.
    void unreadableRecordIsKeptAside_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QByteArray>("kept");
        const QByteArray broken = R"({"settings":{"workMinutes":25},"phase":"work"})";
        QTest::newRow("undecodable data") << QJsonValue(QJsonObject{{"data", QString::fromLatin1(broken.toBase64())}})
                                          << broken;
        const QByteArray zeroRounds = R"({"settings":{"workMinutes":25,"shortBreakMinutes":5,"longBreakMinutes":15,)"
                                      R"("roundsBeforeLong":0},"phase":"work","run":{"idle":{}},"roundsToday":3})";
        QTest::newRow("no rounds before a long break")
            << QJsonValue(QJsonObject{{"data", QString::fromLatin1(zeroRounds.toBase64())}}) << zeroRounds;
        QTest::newRow("not data") << QJsonValue(QStringLiteral("25 minutes")) << QByteArray(R"("25 minutes")");
        // Some 63,000 years ahead: a date, but never the end of a phase of at most 25 minutes.
        const QByteArray farDeadline = R"({"settings":{"workMinutes":25,"shortBreakMinutes":5,"longBreakMinutes":15,)"
                                       R"("roundsBeforeLong":4},"phase":"work","run":{"running":{"deadline":2e12}},)"
                                       R"("roundsToday":0})";
        QTest::newRow("deadline far ahead")
            << QJsonValue(QJsonObject{{"data", QString::fromLatin1(farDeadline.toBase64())}}) << farDeadline;
    }
    void unreadableRecordIsKeptAside()
    {
        QFETCH(QJsonValue, value);
        QFETCH(QByteArray, kept);
        Rig rig;
        rig.defaults->set(FocusPane::defaultsKey, value);
        QString firstCopy;
        for (int run = 0; run < 3; ++run) {
            FocusPane &pane = rig.launch();
            QCOMPARE(pane.state(), PomodoroState{});
            QVERIFY(!pane.setAsidePath().isEmpty());
            QFile aside(pane.setAsidePath());
            QVERIFY(aside.open(QIODevice::ReadOnly));
            QCOMPARE(aside.readAll(), kept);
            QCOMPARE(QFileInfo(aside).absolutePath(), QDir(rig.dir.path()).absolutePath());
            QVERIFY(QFileInfo(aside).fileName().startsWith(QStringLiteral("focus.pomodoro.corrupt.")));
            QCOMPARE(rig.defaults->object(FocusPane::defaultsKey), value);
            if (run == 0)
                firstCopy = pane.setAsidePath();
            QCOMPARE(pane.setAsidePath(), firstCopy);
        }
        QCOMPARE(QDir(rig.dir.path()).entryList({QStringLiteral("focus.pomodoro.corrupt.*")}).size(), 1);
    }
};

QTEST_GUILESS_MAIN(FocusPaneTest)
#include "tst_focuspane.moc"
