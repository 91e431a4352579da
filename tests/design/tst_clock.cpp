#include "design/CancelToken.h"
#include "design/Clock.h"
#include "fakes/ManualClock.h"

#include <QElapsedTimer>

#include <algorithm>
#include <array>
#include <QTest>
#include <QTimer>

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {
// Starts a sleep and records how it ended (-1: still asleep, 0: cancelled, 1: slept).
QCoro::Task<> sleepInto(Clock &clock, Millis d, CancelToken token, int &outcome)
{
    outcome = -1;
    outcome = (co_await clock.sleepFor(d, token)) ? 1 : 0;
}
QCoro::Task<> sleepUntilInto(Clock &clock, QDateTime deadline, CancelToken token, int &outcome)
{
    outcome = -1;
    outcome = (co_await clock.sleepUntil(deadline, token)) ? 1 : 0;
}
} // namespace

class ClockTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void manualSleepersWakeInDeadlineOrder()
    {
        test::ManualClock clock;
        int a = 0, b = 0, c = 0;
        CancelToken token;
        sleepInto(clock, 1000ms, token, a);
        sleepInto(clock, 140ms, token, b);
        sleepInto(clock, 3400ms, token, c);
        QCOMPARE(clock.sleepers(), 3);
        clock.advance(139ms);
        QCOMPARE(b, -1);
        clock.advance(1ms);
        QCOMPARE(b, 1);
        QCOMPARE(a, -1);
        clock.advance(2000ms);
        QCOMPARE(a, 1);
        QCOMPARE(c, -1);
        QCOMPARE(clock.sleepers(), 1);
    }

    void cancelEndsSleepAtOnce()
    {
        test::ManualClock clock;
        CancelToken token;
        int outcome = 0;
        sleepInto(clock, 45000ms, token, outcome);
        token.cancel();
        QCOMPARE(outcome, 0);
        QCOMPARE(clock.sleepers(), 0);
        // An already-cancelled token does not sleep at all.
        sleepInto(clock, 10ms, token, outcome);
        QCOMPARE(outcome, 0);
    }

    void cancelSlotCancelsThePreviousWork()
    {
        CancelSlot slot;
        const CancelToken first = slot.renew();
        const CancelToken second = slot.renew();
        QVERIFY(first.isCancelled());
        QVERIFY(!second.isCancelled());
    }

    void systemClockSleepsAndCancels()
    {
        auto &clock = Clock::system();
        int slept = -2, cancelled = -2;
        CancelToken keep, stop;
        QElapsedTimer elapsed;
        elapsed.start();
        sleepInto(clock, 30ms, keep, slept);
        sleepInto(clock, 60000ms, stop, cancelled);
        QTimer::singleShot(5, [stop] { stop.cancel(); });
        QTRY_COMPARE(slept, 1);
        QTRY_COMPARE(cancelled, 0);
        QVERIFY(elapsed.elapsed() < 30000);
    }

    // A long sleep runs on a coarse timer, which may fire early; the sleep still lasts its whole
    // length (a rest checked against now() right after the sleep must be over). Several lengths,
    // so that some of them fall early on the coarse timer's grid.
    void systemClockNeverWakesEarly()
    {
        auto &clock = Clock::system();
        const std::array<Millis, 6> lengths{2000ms, 2070ms, 2140ms, 2210ms, 2280ms, 2350ms};
        std::array<int, 6> outcomes{};
        std::array<MonoTime, 6> woke{};
        const MonoTime start = clock.now();
        for (size_t i = 0; i < lengths.size(); ++i) {
            [](Clock &c, Millis d, int &outcome, MonoTime &at) -> QCoro::Task<> {
                outcome = -1;
                outcome = (co_await c.sleepFor(d)) ? 1 : 0;
                at = c.now();
            }(clock, lengths[i], outcomes[i], woke[i]);
        }
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(outcomes.begin(), outcomes.end(), [](int o) { return o == 1; }), 20000);
        for (size_t i = 0; i < lengths.size(); ++i)
            QVERIFY2(woke[i] - start >= lengths[i],
                     qPrintable(QStringLiteral("%1 ms asked, woke after %2 ms")
                                    .arg(lengths[i].count())
                                    .arg(std::chrono::duration_cast<Millis>(woke[i] - start).count())));
    }

    // Wall-clock sleepers follow the wall clock: they wake when advance() reaches the deadline,
    // and on any setWall (a suspend or a clock change), whichever way it moves.
    void manualWallSleepersFollowTheWallClock()
    {
        test::ManualClock clock;
        const QDateTime start = clock.wallNow();
        CancelToken token;
        int byAdvance = 0, bySuspend = 0, bySetBack = 0, past = 0;
        sleepUntilInto(clock, start.addSecs(900), token, byAdvance);
        clock.advance(899999ms);
        QCOMPARE(byAdvance, -1);
        clock.advance(1ms);
        QCOMPARE(byAdvance, 1);

        sleepUntilInto(clock, clock.wallNow().addSecs(1500), token, bySuspend);
        clock.setWall(clock.wallNow().addSecs(3600));
        QCOMPARE(bySuspend, 1);

        sleepUntilInto(clock, clock.wallNow().addSecs(60), token, bySetBack);
        clock.setWall(clock.wallNow().addSecs(-3600));
        QCOMPARE(bySetBack, 1); // woken early: the caller sees the deadline is still ahead

        sleepUntilInto(clock, clock.wallNow().addSecs(-5), token, past);
        QCOMPARE(past, 1);
        QCOMPARE(clock.sleepers(), 0);

        int cancelled = 0;
        sleepUntilInto(clock, clock.wallNow().addSecs(60), token, cancelled);
        token.cancel();
        QCOMPARE(cancelled, 0);
        QCOMPARE(clock.sleepers(), 0);
    }

    void systemClockSleepsUntilAWallTime()
    {
        auto &clock = Clock::system();
        int slept = -2, cancelled = -2, past = -2;
        CancelToken keep, stop;
        const QDateTime deadline = clock.wallNow().addMSecs(40);
        sleepUntilInto(clock, deadline, keep, slept);
        sleepUntilInto(clock, clock.wallNow().addDays(400), stop, cancelled);
        sleepUntilInto(clock, clock.wallNow().addSecs(-10), keep, past);
        QTimer::singleShot(5, [stop] { stop.cancel(); });
        QTRY_COMPARE(slept, 1);
        QVERIFY(clock.wallNow() >= deadline);
        QTRY_COMPARE(cancelled, 0);
        QTRY_COMPARE(past, 1);
    }
};

QTEST_GUILESS_MAIN(ClockTest)
#include "tst_clock.moc"
